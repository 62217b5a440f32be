// TQdxArch2: the archive component the setup creates; TJodArchiver with its defaults.
#pragma once
#include "archive/JodArchiver.h"

namespace kx {

class TQdxArch2 : public TJodArchiver {
public:
    TQdxArch2();
    ~TQdxArch2() override;
};

} // namespace kx
