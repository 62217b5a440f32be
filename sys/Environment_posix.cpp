// Start-up and exit work where there is no Windows: only the log switch.
#include "sys/Environment.h"

#include "sys/Files.h"
#include "sys/SysLog.h"

namespace kx {

void InitEnvironment() { SetLogEnabled(FileExists("EnableGLLog")); }
void DoneEnvironment() {}

} // namespace kx
