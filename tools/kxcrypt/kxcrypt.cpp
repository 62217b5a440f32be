// kxcrypt: the cipher of TQdxCrypt on the command line, for files and pipes.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "base/Exception.h"
#include "base/Stream.h"
#include "crypt/QdxCrypt.h"
#include "sys/Files.h"

namespace {

enum ExitCode { kOk = 0, kCipherError = 1, kUsageError = 2, kIoError = 3 };

const char* const kUsage =
    "Usage: kxcrypt encrypt|decrypt [options] [IN [OUT]]\n"
    "\n"
    "Encrypts or decrypts IN into OUT with the TQdxCrypt cipher. Without IN (or with\n"
    "IN \"-\") the data comes from standard input; without OUT (or with OUT \"-\") it\n"
    "goes to standard output. Both are handled as bytes.\n"
    "\n"
    "Options:\n"
    "  --password P   password of at most 12 characters (default: the component's\n"
    "                 default password); an empty P is the empty password\n"
    "  --add-key N    additive key, a 32-bit signed integer (default %d)\n"
    "  --mult-key N   multiplying key, a 32-bit signed integer (default %d)\n"
    "  --hex          the cipher side is hexadecimal text: encrypt writes upper-case\n"
    "                 hexadecimal followed by a line break, decrypt reads hexadecimal\n"
    "                 text (trailing spaces and line breaks are ignored, an odd last\n"
    "                 digit is ignored); without --hex the cipher side is raw bytes\n"
    "  --help         this text\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  the cipher refused the input or key (password too long, text not hexadecimal)\n"
    "  2  bad command line\n"
    "  3  input or output could not be read or written\n"
    "\n"
    "On any failure nothing is written to OUT and the reason goes to standard error.\n";

struct TOptions {
    bool encrypt = false;
    bool hex = false;
    bool havePassword = false;
    std::string password;
    bool haveAddKey = false;
    std::int32_t addKey = 0;
    bool haveMultKey = false;
    std::int32_t multKey = 0;
    std::string inFile;
    std::string outFile;
};

class EUsage : public kx::Exception {
    using Exception::Exception;
};
class EIo : public kx::Exception {
    using Exception::Exception;
};

std::int32_t ParseKey(const std::string& option, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
        throw EUsage(option + " needs a 32-bit signed integer, not \"" + text + "\"");
    return static_cast<std::int32_t>(v);
}

// Returns false when --help was asked for.
bool ParseArgs(int argc, char** argv, TOptions& o) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw EUsage(a + " needs a value");
            return argv[++i];
        };
        if (a == "--help" || a == "-h") return false;
        if (a == "--hex") {
            o.hex = true;
        } else if (a == "--password") {
            o.password = value();
            o.havePassword = true;
        } else if (a == "--add-key") {
            o.addKey = ParseKey(a, value());
            o.haveAddKey = true;
        } else if (a == "--mult-key") {
            o.multKey = ParseKey(a, value());
            o.haveMultKey = true;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            throw EUsage("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.empty()) throw EUsage("missing command: encrypt or decrypt");
    if (positional[0] == "encrypt")
        o.encrypt = true;
    else if (positional[0] != "decrypt")
        throw EUsage("unknown command " + positional[0]);
    if (positional.size() > 3) throw EUsage("too many file names");
    if (positional.size() > 1) o.inFile = positional[1];
    if (positional.size() > 2) o.outFile = positional[2];
    return true;
}

std::string ReadInput(const std::string& name) {
    if (!name.empty() && name != "-") {
        if (!kx::FileExists(name)) throw EIo("Cannot open file " + name);
        return kx::LoadFileToString(name);
    }
    std::string data;
    char buf[65536];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, stdin)) > 0) data.append(buf, got);
    if (std::ferror(stdin)) throw EIo("Cannot read standard input");
    return data;
}

void WriteOutput(const std::string& name, const std::string& data) {
    if (!name.empty() && name != "-") {
        kx::SaveStringToFile(name, data);
        return;
    }
    if (std::fwrite(data.data(), 1, data.size(), stdout) != data.size() || std::fflush(stdout) != 0)
        throw EIo("Cannot write standard output");
}

std::string Run(const TOptions& o) {
    kx::TQdxCrypt crypt;
    if (o.havePassword) crypt.SetPassword(o.password);
    if (o.haveAddKey) crypt.SetAddKey(o.addKey);
    if (o.haveMultKey) crypt.SetMultKey(o.multKey);

    std::string input = ReadInput(o.inFile);
    if (o.hex && o.encrypt) return crypt.EncryptHex(input) + "\n";
    if (o.hex) {
        std::size_t end = input.find_last_not_of(" \t\r\n");
        input.resize(end == std::string::npos ? 0 : end + 1);
        return crypt.DecryptHex(input);
    }
    kx::TMemoryStream stream;
    stream.Bytes().assign(input.begin(), input.end());
    if (o.encrypt)
        crypt.EncryptStream(stream);
    else
        crypt.DecryptStream(stream);
    return stream.AsString();
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    TOptions options;
    try {
        if (!ParseArgs(argc, argv, options)) {
            std::printf(kUsage, int(kx::TQdxCrypt::DefaultAddKey), int(kx::TQdxCrypt::DefaultMultKey));
            return kOk;
        }
    } catch (const EUsage& e) {
        std::fprintf(stderr, "kxcrypt: %s\nTry kxcrypt --help.\n", e.what());
        return kUsageError;
    }

    std::string output;
    try {
        output = Run(options);
    } catch (const EIo& e) {
        std::fprintf(stderr, "kxcrypt: %s\n", e.what());
        return kIoError;
    } catch (const kx::EStreamError& e) {
        std::fprintf(stderr, "kxcrypt: %s\n", e.what());
        return kIoError;
    } catch (const kx::Exception& e) {
        std::fprintf(stderr, "kxcrypt: %s\n", e.what());
        return kCipherError;
    }

    try {
        WriteOutput(options.outFile, output);
    } catch (const kx::Exception& e) {
        std::fprintf(stderr, "kxcrypt: %s\n", e.what());
        return kIoError;
    }
    return kOk;
}
