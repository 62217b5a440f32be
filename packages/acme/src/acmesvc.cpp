// Acme Tool's service program (placeholder): accepts the command lines the setup
// and uninstaller use and ends at once.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "/install") == 0 || std::strcmp(argv[i], "/uninstall") == 0) return 0;
    return 0;
}
