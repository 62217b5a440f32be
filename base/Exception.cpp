// The silent abort helper.
#include "base/Exception.h"

namespace kx {

void Abort() { throw EAbort(); }

} // namespace kx
