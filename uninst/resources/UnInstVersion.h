/* The uninstaller's version: the setup copies it into the Windows folder only over
   an older one, so raise it with every change of the program. */
#define KX_UNINST_VERSION 1,0,0,0
#define KX_UNINST_VERSION_TEXT "1.0.0.0"
