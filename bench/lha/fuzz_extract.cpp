// libFuzzer target: extracts an arbitrary archive with the module's own command
// layer, into a private folder that is emptied after every input.
#include "lzh_archive.h"
#include "module.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const std::string& workFolder() {
    static const std::string folder = [] {
        char templ[] = "/tmp/lha-fuzz-XXXXXX";
        std::string dir = ::mkdtemp(templ);
        std::filesystem::create_directories(dir + "/dest");
        return dir;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = workFolder();
    const std::string archive = dir + "/input.lzh";
    {
        std::ofstream out(archive, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    arc::Progress progress(nullptr, nullptr, 0);
    std::string output;
    int rc = lha::runCommand("x \"" + archive + "\" \"" + dir + "/dest/\"", progress, output);
    if (rc != 0 && (rc < 32768 || rc > 32800))
        std::abort();
    for (const auto& e : std::filesystem::directory_iterator(dir + "/dest"))
        std::filesystem::remove(e.path());
    return 0;
}
