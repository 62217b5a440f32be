// libFuzzer target over the PE reader: headers, sections, the resource tree and,
// for every image they accept, the writer, whose output must read back whole.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/kxpack/PeImage.h"
#include "tools/kxpack/PeResources.h"

using namespace kx::kxpack;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<TResource> resources;
    std::vector<std::uint8_t> written;
    try {
        TPeImage image(std::vector<std::uint8_t>(data, data + size));
        resources = ReadResources(image);
        resources.push_back({TResourceId::Of("KXFILE"), TResourceId::Of("INIFILE"), LangEnglishUS, 0, {'[', ']'}});
        written = WithResources(image, resources);
    } catch (const EPeImage&) {
        return 0;
    }
    // What the writer produced from an image the reader took must read back.
    try {
        TPeImage again(written);
        if (ReadResources(again).size() != resources.size()) {
            std::fprintf(stderr, "the written image lost resources\n");
            std::abort();
        }
    } catch (const EPeImage& e) {
        std::fprintf(stderr, "the written image does not read back: %s\n", e.what());
        std::abort();
    }
    return 0;
}
