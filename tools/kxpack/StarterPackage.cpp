// The starting package of kxpack --init; see StarterPackage.h. Its texts are
// bytes of their code pages: GBK in the GB parts, Big5 in the B5 parts.
#include "tools/kxpack/StarterPackage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/Format.h"
#include "sys/NativePath.h"
#include "tools/kxpack/Package.h"

namespace fs = std::filesystem;

namespace kx::kxpack {

namespace {

// 我的程序, 我的公司, 自述文件 (GBK); 我的程式, 我的公司, 讀我檔案 (Big5).
#define GB_PROGRAM "\xCE\xD2\xB5\xC4\xB3\xCC\xD0\xF2"
#define GB_COMPANY "\xCE\xD2\xB5\xC4\xB9\xAB\xCB\xBE"
#define GB_README "\xD7\xD4\xCA\xF6\xCE\xC4\xBC\xFE"
#define B5_PROGRAM "\xA7\xDA\xAA\xBA\xB5{\xA6\xA1"
#define B5_COMPANY "\xA7\xDA\xAA\xBA\xA4\xBD\xA5q"
#define B5_README "\xC5\xAA\xA7\xDA\xC0\xC9\xAE\xD7"

const char StarterScript[] =
    "; The install script of a setup program: what it installs, where, and what it\r\n"
    "; registers. docs/setup-ini.md describes every section and key.\r\n"
    ";\r\n"
    "; Lines starting with ';' are comments. Texts in the GB sections are GBK (code\r\n"
    "; page 936), in the B5 sections Big5 (code page 950), everywhere else ASCII:\r\n"
    "; save this file in those code pages, not as UTF-8. Check it with\r\n"
    ";   kxpack --check PACKAGE_DIR\r\n"
    "; and build the setup program with\r\n"
    ";   kxpack PACKAGE_DIR -o setup.exe\r\n"
    "\r\n"
    "[Common]\r\n"
    "; The folder under Program Files that holds your programs' folders (PRGDIR\r\n"
    "; below), and the one under Common Files for files marked [C.\r\n"
    "VendorDir=My Company\r\n"
    "SharedDir=My Company\r\n"
    "; The version in the list of installed programs and in setup.exe's properties.\r\n"
    "ProductVersion=1.0.0\r\n"
    "Copyright=(c) My Company\r\n"
    "; Only on the Windows NT family (2000, XP and later); WIN9X=TRUE: only on 98/Me.\r\n"
    "WIN2K=TRUE\r\n"
    "; The program opened when the installation ends, a file of a component:\r\n"
    "; AutoRun=myprogram.exe\r\n"
    "\r\n"
    "; One set of sections per language: EN (English), GB (Simplified Chinese)\r\n"
    "; and B5 (Traditional Chinese). The setup shows the one of the system's\r\n"
    "; language; all three list the same components in the same order.\r\n"
    "[EN.GrpName]\r\n"
    "; The program's name: captions, the Start menu folder, the list of programs.\r\n"
    "GrpName=My Program\r\n"
    "COMPANY=My Company\r\n"
    "VERSION=1.0\r\n"
    "; The uninstall entry; keep it below ...\\CurrentVersion\\Uninstall.\r\n"
    "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MyProgram\r\n"
    "; The folder suggested below Program Files\\VendorDir.\r\n"
    "PRGDIR=My Program\r\n"
    "UNINST=TRUE\r\n"
    "\r\n"
    "[EN.File]\r\n"
    "; component=files it installs, separated by ';' (from files/; [S: into the\r\n"
    "; system folder, [C: into Common Files\\SharedDir)\r\n"
    "My Program=readme.txt\r\n"
    "\r\n"
    "[EN.Link]\r\n"
    "; shortcut in the Start menu folder=the file it opens\r\n"
    "Read Me=readme.txt\r\n"
    "\r\n"
    "[GB.GrpName]\r\n"
    "GrpName=" GB_PROGRAM "\r\n"
    "COMPANY=" GB_COMPANY "\r\n"
    "VERSION=1.0\r\n"
    "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MyProgram\r\n"
    "PRGDIR=My Program\r\n"
    "UNINST=TRUE\r\n"
    "\r\n"
    "[GB.File]\r\n"
    GB_PROGRAM "=readme.txt\r\n"
    "\r\n"
    "[GB.Link]\r\n"
    GB_README "=readme.txt\r\n"
    "\r\n"
    "[B5.GrpName]\r\n"
    "GrpName=" B5_PROGRAM "\r\n"
    "COMPANY=" B5_COMPANY "\r\n"
    "VERSION=1.0\r\n"
    "REG=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MyProgram\r\n"
    "PRGDIR=My Program\r\n"
    "UNINST=TRUE\r\n"
    "\r\n"
    "[B5.File]\r\n"
    B5_PROGRAM "=readme.txt\r\n"
    "\r\n"
    "[B5.Link]\r\n"
    B5_README "=readme.txt\r\n"
    "\r\n"
    "; Further sections: [Service] (services to stop before copying), [DESTDIR]\r\n"
    "; (sub-folders for files), [AutoReg] (registry values naming installed files).\r\n";

// 软件许可协议 / 请在此写下您的许可协议。安装前用户必须同意。
const char LicenceGb[] = "\xC8\xED\xBC\xFE\xD0\xED\xBF\xC9\xD0\xAD\xD2\xE9\r\n\r\n"
                         "\xC7\xEB\xD4\xDA\xB4\xCB\xD0\xB4\xCF\xC2\xC4\xFA\xB5\xC4\xD0\xED\xBF\xC9\xD0\xAD\xD2\xE9"
                         "\xA1\xA3\xB0\xB2\xD7\xB0\xC7\xB0\xD3\xC3\xBB\xA7\xB1\xD8\xD0\xEB\xCD\xAC\xD2\xE2\xA1\xA3\r\n";
// 軟體授權合約 / 請在此寫下您的授權合約。安裝前使用者必須同意。
const char LicenceB5[] = "\xB3n\xC5\xE9\xB1\xC2\xC5v\xA6X\xAC\xF9\r\n\r\n"
                         "\xBD\xD0\xA6" "b\xA6\xB9\xBCg\xA4U\xB1z\xAA\xBA\xB1\xC2\xC5v\xA6X\xAC\xF9\xA1" "C\xA6w\xB8\xCB"
                         "\xAB" "e\xA8\xCF\xA5\xCE\xAA\xCC\xA5\xB2\xB6\xB7\xA6P\xB7N\xA1" "C\r\n";
const char LicenceEn[] = "Licence agreement\r\n\r\n"
                         "Write your licence agreement here. Users must agree to it before they install.\r\n";
const char Readme[] = "My Program\r\n\r\nPut the files your components install into files/ and name them in setup.ini.\r\n";

void WriteText(const fs::path& path, const char* text) {
    const std::string native = PathToNative(path);
    std::FILE* f = std::fopen(native.c_str(), "wb");
    const std::size_t size = std::strlen(text);
    bool ok = f && std::fwrite(text, 1, size, f) == size;
    const int error = errno;
    if (f && std::fclose(f) != 0)
        ok = false;
    if (!ok)
        throw EInputOutput(Format("cannot write %s: %s", native, std::strerror(error ? error : errno)));
}

} // namespace

void WriteStarterPackage(const std::string& dir) {
    const fs::path root = NativeToPath(dir);
    std::error_code ec;
    if (fs::exists(root, ec)) {
        if (!fs::is_directory(root, ec))
            throw EInputOutput(Format("%s is a file; kxpack --init makes a package folder", dir));
        if (!fs::is_empty(root, ec))
            throw EInputOutput(Format("%s is not empty; kxpack --init writes only into a new or empty folder", dir));
    }
    fs::create_directories(root / FilesFolderName, ec);
    if (ec)
        throw EInputOutput(Format("cannot make the folder %s: %s", dir, ec.message()));
    WriteText(root / ScriptFileName, StarterScript);
    WriteText(root / LicenceFileNames[0], LicenceGb);
    WriteText(root / LicenceFileNames[1], LicenceB5);
    WriteText(root / LicenceFileNames[2], LicenceEn);
    WriteText(root / FilesFolderName / "readme.txt", Readme);
}

} // namespace kx::kxpack
