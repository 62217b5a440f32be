// The one way into windows.h. Macros that would rename the system's own
// functions and methods (StartService, GetTempFileName, DeleteFile, ...) are
// removed here; code calls the "A" functions of the API by their full names.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef StartService
#undef GetTempFileName
#undef DeleteFile
#undef CreateDirectory
#undef RemoveDirectory
#undef CopyFile
#undef MoveFile
#undef FindResource
#undef LoadString
#undef GetCurrentDirectory
#undef GetTempPath
#undef GetWindowsDirectory
#undef GetSystemDirectory
#undef GetModuleFileName
#undef GetObject
#undef CreateEvent
#undef MessageBox
#undef SetCurrentDirectory
#undef GetShortPathName
#undef CreateFile
#undef GetFileAttributes
#undef SetFileAttributes
#undef RegOpenKeyEx
#undef RegQueryValueEx
#undef RegSetValueEx
#undef RegCreateKeyEx
#undef RegDeleteKey
#undef RegEnumKeyEx
#undef OpenSCManager
#undef OpenService
#undef ChangeServiceConfig
#undef CreateService
#undef QueryServiceConfig
#undef ExitWindows
#undef FindWindow
#undef ShellExecute
#undef CreateProcess
#undef GetVersionEx
#undef GetUserName
#undef Yield
