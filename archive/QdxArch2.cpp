// TQdxArch2: the setup's archive component.
#include "archive/QdxArch2.h"

namespace kx {

TQdxArch2::TQdxArch2() {
    SetPathStorage(psRelative);
    FMaxSegmentSize = 0;
    SetMinFreeSpace(1048576);
    SetCompressionLevel(clNormal);
}

TQdxArch2::~TQdxArch2() {
    CloseForDestruction();
}

} // namespace kx
