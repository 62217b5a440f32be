// The kxpack run; see Pack.h. Nothing is written under the output's name until
// the whole program is in a temporary file beside it.
#include "tools/kxpack/Pack.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

#include "archive/ArchiveFormat.h"
#include "base/Format.h"
#include "base/Text.h"
#include "sys/Files.h"
#include "sys/NativePath.h"
#include "sys/TerminalText.h"
#include "tools/kxpack/IconFile.h"
#include "tools/kxpack/Package.h"
#include "tools/kxpack/PeResources.h"
#include "tools/kxpack/VersionResource.h"

namespace fs = std::filesystem;

namespace kx::kxpack {

const char* const DefaultStubName = "setupstub.exe";
const char* const DefaultUninstallerName = "kxUnInst.exe";

std::vector<std::string> DataDirectories() {
    std::vector<std::string> dirs;
    std::string exe = GetProgramFileName();
    if (!exe.empty()) {
        fs::path d = NativeToPath(exe).parent_path();
        dirs.push_back(PathToNative(d));
        dirs.push_back(PathToNative((d / ".." / "share" / "kxsetup").lexically_normal()));
    }
    return dirs;
}

std::uint32_t PackageSeed(const std::string& script, const std::vector<std::string>& names,
                          const std::vector<std::int64_t>& sizes, const std::vector<double>& dates) {
    // FNV-1a over the bytes, each part ended by its length so that parts
    // cannot run into each other.
    std::uint32_t h = 2166136261u;
    auto add = [&](const void* data, std::size_t n) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < n; ++i)
            h = (h ^ p[i]) * 16777619u;
        const std::uint64_t length = n;
        for (int i = 0; i < 8; ++i)
            h = (h ^ static_cast<std::uint8_t>(length >> (8 * i))) * 16777619u;
    };
    add(script.data(), script.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        add(names[i].data(), names[i].size());
        const std::int64_t size = i < sizes.size() ? sizes[i] : 0;
        const std::int64_t millis = i < dates.size() ? static_cast<std::int64_t>(dates[i] * 86400000.0 + 0.5) : 0;
        std::uint8_t fixed[16];
        for (int k = 0; k < 8; ++k) {
            fixed[k] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(size) >> (8 * k));
            fixed[8 + k] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(millis) >> (8 * k));
        }
        add(fixed, sizeof fixed);
    }
    return h;
}

namespace {

// Temporary files go on every way out, an interruption included.
constexpr int MaxTemps = 8;
char TempPaths[MaxTemps][4096];
volatile std::sig_atomic_t TempUsed[MaxTemps];

extern "C" void RemoveTempsAndExit(int sig) {
    for (int i = 0; i < MaxTemps; ++i)
        if (TempUsed[i])
            std::remove(TempPaths[i]);
    std::_Exit(128 + sig);
}

class TTempFile {
public:
    explicit TTempFile(std::string path) : FPath(std::move(path)) {
        static bool handlers = false;
        if (!handlers) {
            std::signal(SIGINT, RemoveTempsAndExit);
            std::signal(SIGTERM, RemoveTempsAndExit);
            handlers = true;
        }
        for (int i = 0; i < MaxTemps; ++i)
            if (!TempUsed[i] && FPath.size() < sizeof TempPaths[i]) {
                std::memcpy(TempPaths[i], FPath.c_str(), FPath.size() + 1);
                TempUsed[i] = 1;
                FSlot = i;
                break;
            }
    }
    ~TTempFile() {
        if (FSlot >= 0)
            TempUsed[FSlot] = 0;
        std::error_code ec;
        fs::remove(NativeToPath(FPath), ec);
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    int FSlot = -1;
};

void Say(const std::string& text) { kxarc::ReportError(text); }

std::string FindDefault(const char* name, const char* option, bool verbose) {
    std::string looked;
    for (const std::string& dir : DataDirectories()) {
        fs::path p = NativeToPath(dir) / name;
        std::error_code ec;
        if (fs::is_regular_file(p, ec)) {
            if (verbose)
                Say(Format("%s: %s (not given; found where kxpack looks for it)", option + 2, PathToNative(p)));
            return PathToNative(p);
        }
        looked += "\n  " + PathToNative(p);
    }
    throw EInputOutput(Format("no %s found; give %s FILE. Looked for:%s", name, option, looked));
}

// Prints the findings as "file:line: error: text"; answers the number of errors.
int Report(const std::vector<TFinding>& findings, const TPackOptions& o) {
    int errors = 0, warnings = 0;
    for (const TFinding& f : findings) {
        bool error = f.Severity == TSeverity::Error;
        (error ? errors : warnings)++;
        std::string where = f.File == o.Payload ? f.File : PathToNative(NativeToPath(o.PackageDir) / f.File);
        if (f.Line > 0)
            where += ":" + std::to_string(f.Line);
        // Names from the GB and B5 sections in the terminal's own encoding.
        std::fprintf(stderr, "%s: %s: %s\n", where.c_str(), error && !o.Force ? "error" : "warning",
                     ToTerminalText(f.Message, f.CodePage).c_str());
    }
    auto count = [](int n, const char* what) { return Format("%d %s%s", n, what, n == 1 ? "" : "s"); };
    if (errors && o.Force)
        Say(count(errors, "error") + " reported as warnings (--force), " + count(warnings, "warning"));
    else if (errors || warnings)
        Say(count(errors, "error") + ", " + count(warnings, "warning"));
    return errors;
}

// A program read and checked; what is wrong with it makes an EInputOutput.
TPeImage LoadProgram(const std::string& path, const char* role, bool allow64) {
    try {
        TPeImage image(ReadBinaryFile(path));
        if (image.Is64() && !allow64)
            throw EPeImage("it is a 64-bit program; setup programs are 32-bit so that they run on every Windows");
        return image;
    } catch (const EPeImage& e) {
        throw EInputOutput(Format("the %s %s cannot be used: %s", role, path, e.Message()));
    }
}

std::uint64_t FileSizeOf(const std::string& path) {
    std::error_code ec;
    std::uintmax_t size = fs::file_size(NativeToPath(path), ec);
    if (ec)
        throw EInputOutput(Format("cannot read %s: %s", path, ec.message()));
    return size;
}

// Packs files/ into the temporary file `archive`; answers its size. Entries
// carry their files' dates in UTC, or SOURCE_DATE_EPOCH, and the identifier
// comes from --seed or from the package itself: the bytes depend on nothing
// of the machine that packs.
std::uint64_t PackPayload(const TPackage& package, const TPackOptions& o, const std::string& archive,
                          kxarc::TProgressBar& bar) {
    const TDateTime epoch = o.HaveSourceDateEpoch ? UtcDateTime(o.SourceDateEpoch) : 0;
    std::vector<kxarc::TArchiveInput> inputs;
    std::vector<std::string> names;
    std::vector<std::int64_t> sizes;
    std::vector<double> dates;
    for (const TPayloadFile& f : package.Files) {
        const TDateTime date = o.HaveSourceDateEpoch ? epoch : f.Date;
        inputs.push_back({f.Path, "", false, f.Size, f.StoredName, date});
        names.push_back(f.StoredName);
        sizes.push_back(f.Size);
        dates.push_back(date);
    }
    kxarc::TWriteOptions options = o.Archive;
    if (!options.HaveSeed) {
        options.HaveSeed = true;
        options.Seed = PackageSeed(package.Content.Script.value_or(""), names, sizes, dates);
    }
    if (o.Verbose) {
        Say(o.HaveSourceDateEpoch
                ? Format("entry dates: SOURCE_DATE_EPOCH=%lld", static_cast<long long>(o.SourceDateEpoch))
                : std::string("entry dates: the files' modification times in UTC"));
        Say(Format("archive seed: %u%s", options.Seed, o.Archive.HaveSeed ? " (--seed)" : " (from the package)"));
    }
    kxarc::TWriteResult r = kxarc::WriteArchive(archive, inputs, options, bar);
    if (!r.Written)
        throw EInputOutput("the payload archive could not be written");
    if (r.LeftOut)
        throw EInputOutput(Format("%d payload files could not be packed", r.LeftOut));
    return FileSizeOf(archive);
}

// The most the payload archive of these files can take: every block stored
// as it is (a block that does not shrink is stored raw), behind its header.
std::uint64_t PayloadSizeBound(const std::vector<TPayloadFile>& files, std::int32_t blockSize) {
    std::uint64_t size = ArchiveHeaderFixedSize;
    for (const TPayloadFile& f : files) {
        const std::uint64_t bytes = static_cast<std::uint64_t>(f.Size);
        const std::uint64_t blocks = (bytes + static_cast<std::uint64_t>(blockSize) - 1) / static_cast<std::uint64_t>(blockSize);
        size += FileEntryFixedSize + f.StoredName.size() + bytes + blocks * BlockHeaderSize;
    }
    return size;
}

std::string Megabytes(std::uint64_t bytes) {
    return Format("%.0f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
}

// The stub's version resource, and its icon when the package has one, give
// way to the package's own.
void GiveIdentity(std::vector<TResource>& resources, const TPackageContent& package) {
    const TResourceId version = TResourceId::Of(ResourceTypeVersion);
    const TResourceId icon = TResourceId::Of(ResourceTypeIcon);
    const TResourceId group = TResourceId::Of(ResourceTypeGroupIcon);
    auto languageOf = [&](const TResourceId& type) {
        for (const TResource& r : resources)
            if (r.Type == type)
                return r.Language;
        return LangEnglishUS;
    };
    const std::uint16_t versionLanguage = languageOf(version);
    std::erase_if(resources, [&](const TResource& r) { return r.Type == version; });
    resources.push_back({version, TResourceId::Of(1), versionLanguage, 0,
                         BuildVersionResource(SetupVersionTexts(package.Script.value_or("")))});
    if (package.Icon) {
        const std::uint16_t iconLanguage = languageOf(group);
        std::erase_if(resources, [&](const TResource& r) { return r.Type == icon || r.Type == group; });
        // Checked with the package, so it reads.
        for (TResource& r : IconResources(std::vector<std::uint8_t>(package.Icon->begin(), package.Icon->end()), 1,
                                          iconLanguage))
            resources.push_back(std::move(r));
    }
}

std::vector<std::uint8_t> Bytes(const std::optional<std::string>& text) {
    return text ? std::vector<std::uint8_t>(text->begin(), text->end()) : std::vector<std::uint8_t>();
}

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void CopyFileBytes(const std::string& from, const std::string& to) {
    const std::vector<std::uint8_t> bytes = ReadBinaryFile(from);
    std::unique_ptr<std::FILE, TFileCloser> f(std::fopen(to.c_str(), "wb"));
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size() || std::fclose(f.release()) != 0)
        throw EInputOutput(Format("cannot write %s: %s", to, std::strerror(errno)));
}

// path as one word of the command interpreter's command line.
std::string ShellWord(const std::string& path) {
#ifdef _WIN32
    return "\"" + path + "\""; // Windows names cannot hold a double quote
#else
    std::string word = "'";
    for (char c : path)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
#endif
}

// Runs the signing command on file, which must be signed where it is: "{}"
// stands for it; a command that writes the signed program elsewhere (as
// osslsigncode does) names that place "{signed}", and kxpack moves it over.
void Sign(const std::string& command, const std::string& file, const char* what, bool verbose) {
    const bool elsewhere = command.find("{signed}") != std::string::npos;
    TTempFile signedCopy(file + ".signed");
    std::string line;
    for (std::size_t i = 0; i < command.size();) {
        if (command.compare(i, 2, "{}") == 0) {
            line += ShellWord(file);
            i += 2;
        } else if (command.compare(i, 8, "{signed}") == 0) {
            line += ShellWord(signedCopy.Path());
            i += 8;
        } else {
            line += command[i++];
        }
    }
    if (verbose)
        Say(Format("signing %s: %s", what, line));
    std::fflush(stdout);
    std::fflush(stderr);
#ifdef _WIN32
    // cmd.exe drops the first and the last quote of a line that starts with one.
    const int status = std::system(("\"" + line + "\"").c_str());
#else
    const int status = std::system(line.c_str());
#endif
    if (status != 0)
        throw EInputOutput(Format("signing %s failed (the command ended with status %d): %s", what, status, line));
    if (elsewhere) {
        std::error_code ec;
        fs::rename(NativeToPath(signedCopy.Path()), NativeToPath(file), ec);
        if (ec)
            throw EInputOutput(Format("signing %s wrote no %s: %s", what, signedCopy.Path(), ec.message()));
    }
}

// Writes the image beside the output under a temporary name, fills in the
// checksum, and only then gives it the output's name.
void WriteOutput(const std::string& output, const TPeOutput& image, const TPackOptions& o) {
    TTempFile temp(output + ".kxpack-" + kxarc::UniqueSuffix() + ".tmp");
    auto failed = [&](int error) {
        return EInputOutput(Format("cannot write %s: %s", output, std::strerror(error)));
    };
    {
        std::unique_ptr<std::FILE, TFileCloser> f(std::fopen(temp.Path().c_str(), "wb"));
        if (!f)
            throw failed(errno);
        std::uint32_t sum = StreamImage(image, [&](const std::uint8_t* p, std::size_t n) {
            if (std::fwrite(p, 1, n, f.get()) != n)
                throw failed(errno);
        });
        std::uint8_t field[4] = {static_cast<std::uint8_t>(sum), static_cast<std::uint8_t>(sum >> 8),
                                 static_cast<std::uint8_t>(sum >> 16), static_cast<std::uint8_t>(sum >> 24)};
        if (std::fseek(f.get(), static_cast<long>(image.ChecksumOffset), SEEK_SET) != 0 ||
            std::fwrite(field, 1, sizeof field, f.get()) != sizeof field)
            throw failed(errno);
        int error = std::fflush(f.get()) == 0 ? 0 : errno;
        if (std::fclose(f.release()) != 0 && !error)
            error = errno;
        if (error)
            throw failed(error);
    }
    if (!o.SignCommand.empty())
        Sign(o.SignCommand, temp.Path(), "the setup program", o.Verbose);
    std::error_code ec;
    fs::permissions(NativeToPath(temp.Path()), fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
    fs::rename(NativeToPath(temp.Path()), NativeToPath(output), ec);
    if (ec)
        throw EInputOutput(Format("cannot write %s: %s", output, ec.message()));
}

// The KXFILE resources besides the payload: the script as the setup carries
// it, the uninstaller and the three licences.
std::vector<std::pair<const char*, std::vector<std::uint8_t>>> ScriptAndTexts(
    const TPackageContent& package, const std::vector<std::uint8_t>& uninstaller) {
    return {{"INIFILE", Bytes(WithDefaultFolders(package.Script.value_or("")))},
            {"UNINST", uninstaller},
            {"LICCN", Bytes(package.Licences[0])},
            {"LICB5", Bytes(package.Licences[1])},
            {"LICEN", Bytes(package.Licences[2])}};
}

// What signing adds: a signature of a few kilobytes on the uninstaller and on
// the setup program, counted generously.
constexpr std::uint64_t SignatureAllowance = 2 * (std::uint64_t{64} << 10);

// The setup program stays within what Windows loads (reported otherwise, as an
// error unless --force): the stub with its resources and the payload at its
// size or bound, laid out as they will be written, without reading a byte.
bool Loadable(const TPeImage& stub, const std::vector<TResource>& stubResources, const TPackage& package,
              std::size_t uninstallerSize, const TPackOptions& o) {
    const bool ready = !o.Payload.empty();
    const std::uint64_t payloadBound =
        ready ? FileSizeOf(o.Payload) : PayloadSizeBound(package.Files, o.Archive.BlockSize);
    const TResourceId kxfile = TResourceId::Of("KXFILE");
    std::vector<TResource> trial = stubResources;
    // Only the uninstaller's size counts here.
    for (auto& [name, data] : ScriptAndTexts(package.Content, std::vector<std::uint8_t>(uninstallerSize)))
        trial.push_back({kxfile, TResourceId::Of(name), LangEnglishUS, 0, std::move(data)});
    trial.push_back({kxfile, TResourceId::Of("SETUPX"), LangEnglishUS, 0, {}, "payload", payloadBound});
    std::uint64_t outputBound = std::numeric_limits<std::uint64_t>::max();
    try {
        outputBound = LayOutWithResources(stub, std::move(trial)).Pieces.Size();
    } catch (const EPeImage&) {
    }
    if (!o.SignCommand.empty() && outputBound != std::numeric_limits<std::uint64_t>::max())
        outputBound += SignatureAllowance;
    if (outputBound <= MaxSetupSize)
        return true;
    const std::string limit = Format("Windows loads one of at most %s (%s bytes)", Megabytes(MaxSetupSize),
                                     std::to_string(MaxSetupSize));
    const std::string text =
        ready ? Format("the setup program would be %s (%s bytes); %s", Megabytes(outputBound),
                       std::to_string(outputBound), limit)
              : Format("the setup program could be up to %s (%s bytes), as the payload files take %s before "
                       "compression; %s. Leave files out, or pack them first with kxarc create and give the "
                       "archive with --payload, which counts at its real size",
                       Megabytes(outputBound), std::to_string(outputBound), Megabytes(payloadBound), limit);
    std::vector<TFinding> tooLarge = {{TSeverity::Error, ready ? o.Payload : std::string(FilesFolderName) + "/", 0, text}};
    if (Report(tooLarge, o) && !o.Force) {
        Say("the setup program would be too large; nothing written");
        return false;
    }
    return true;
}

} // namespace

int PackCommand(const TPackOptions& o) {
    kxarc::TProgressBar bar(o.Progress);
    try {
        std::string stubPath = o.Stub, uninstallerPath = o.Uninstaller;
        if (!o.CheckOnly) {
            std::error_code ec;
            if (fs::is_directory(NativeToPath(o.Output), ec))
                throw EInputOutput(Format("cannot write %s: it is a folder", o.Output));
            if (stubPath.empty())
                stubPath = FindDefault(DefaultStubName, "--stub", o.Verbose);
            else if (o.Verbose)
                Say("stub: " + stubPath + " (--stub)");
            if (uninstallerPath.empty())
                uninstallerPath = FindDefault(DefaultUninstallerName, "--uninstaller", o.Verbose);
            else if (o.Verbose)
                Say("uninstaller: " + uninstallerPath + " (--uninstaller)");
        }

        TPackage package = ReadPackage(o.PackageDir, o.Payload, bar);
        // What no component installs stays out of the payload (the check says so).
        if (package.Content.Script) {
            const std::vector<std::string> installed = InstalledNames(*package.Content.Script);
            std::erase_if(package.Files, [&](const TPayloadFile& f) {
                return !std::binary_search(installed.begin(), installed.end(), UpperCase(f.StoredName));
            });
        }
        std::vector<TFinding> findings = package.Findings;
        for (TFinding& f : CheckPackage(package.Content))
            findings.push_back(std::move(f));
        int errors = Report(findings, o);
        if (errors && !o.Force) {
            Say(o.CheckOnly ? "the package has errors" : "the package has errors; nothing written");
            return ExitPackageErrors;
        }
        if (o.CheckOnly)
            return ExitOk;

        TPeImage stub = LoadProgram(stubPath, "stub", o.Allow64);
        std::vector<TResource> resources;
        try {
            ResourceSectionRva(stub);
            resources = ReadResources(stub);
        } catch (const EPeImage& e) {
            throw EInputOutput(Format("the stub %s cannot be used: %s", stubPath, e.Message()));
        }
        TPeImage uninstaller = LoadProgram(uninstallerPath, "uninstaller", o.Allow64);

        const TResourceId kxfile = TResourceId::Of("KXFILE");
        std::size_t before = resources.size();
        std::erase_if(resources, [&](const TResource& r) { return r.Type == kxfile; });
        if (resources.size() != before)
            Say("warning: the stub already carries KXFILE resources; they are replaced");
        GiveIdentity(resources, package.Content);

        // Whether the program can be loaded is known before anything is packed
        // or signed: a ready archive has its size, and the files cannot take
        // more than their bound.
        if (!Loadable(stub, resources, package, uninstaller.Bytes().size(), o))
            return ExitPackageErrors;
        if (!o.SignCommand.empty()) {
            // The uninstaller is signed as it goes in: the setup writes it out
            // byte for byte, so its signature holds on the user's machine.
            TTempFile copy(kxarc::TempPath());
            CopyFileBytes(uninstallerPath, copy.Path());
            Sign(o.SignCommand, copy.Path(), "the uninstaller", o.Verbose);
            uninstaller = LoadProgram(copy.Path(), "signed uninstaller", o.Allow64);
        }
        for (auto& [name, data] : ScriptAndTexts(package.Content, uninstaller.Bytes()))
            resources.push_back({kxfile, TResourceId::Of(name), LangEnglishUS, 0, std::move(data)});

        // The payload stays on disk: packed into a temporary file, or the
        // ready archive itself, read again only while the output is written.
        std::unique_ptr<TTempFile> packed;
        std::string payloadPath = o.Payload;
        if (payloadPath.empty()) {
            packed = std::make_unique<TTempFile>(kxarc::TempPath());
            payloadPath = packed->Path();
            PackPayload(package, o, payloadPath, bar);
        }
        const std::uint64_t payloadSize = FileSizeOf(payloadPath);
        resources.push_back({kxfile, TResourceId::Of("SETUPX"), LangEnglishUS, 0, {}, payloadPath, payloadSize});


        TPeOutput image;
        try {
            image = LayOutWithResources(stub, std::move(resources));
        } catch (const EPeImage& e) {
            throw EInputOutput(Format("the stub %s cannot take the resources: %s", stubPath, e.Message()));
        }
        WriteOutput(o.Output, image, o);
        std::printf("kxpack: wrote %s (%llu bytes, payload %llu bytes)\n", o.Output.c_str(),
                    static_cast<unsigned long long>(image.Pieces.Size()),
                    static_cast<unsigned long long>(payloadSize));
        return ExitOk;
    } catch (const EInputOutput& e) {
        bar.Finish();
        Say(e.Message());
        return ExitInputOutput;
    } catch (const std::exception& e) {
        bar.Finish();
        Say(e.what());
        return ExitInputOutput;
    }
}

} // namespace kx::kxpack
