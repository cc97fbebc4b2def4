#include "zip_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace ztest {

std::string sample(size_t size, unsigned seed, bool compressible) {
    std::string s;
    s.reserve(size);
    unsigned x = seed * 2654435761u + 1;
    static const char* words[] = {"alpha ", "beta ", "gamma ", "delta\n", "圧縮 ", "{ x = y; }\n"};
    while (s.size() < size) {
        x = x * 1103515245u + 12345u;
        if (compressible)
            s += words[(x >> 16) % 6];
        else
            s.push_back(static_cast<char>(x >> 23));
    }
    s.resize(size);
    return s;
}

bool readersAccept(const fs::path& archive, std::string* why) {
    std::string out;
    if (shell("unzip -t " + quote(archive), &out) != 0) {
        if (why)
            *why = "unzip -t: " + out;
        return false;
    }
    if (shell("7z t " + quote(archive), &out) != 0) {
        if (why)
            *why = "7z t: " + out;
        return false;
    }
    if (shell("python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
              "sys.exit(0 if z.testzip() is None else 1)' " +
                  quote(archive),
              &out) != 0) {
        if (why)
            *why = "python zipfile: " + out;
        return false;
    }
    return true;
}

std::vector<std::string> python(const std::string& code, const fs::path& archive) {
    TempDir dir;
    spit(dir / "snippet.py", "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\n" + code);
    std::string out;
    shell("python3 " + quote(dir / "snippet.py") + " " + quote(archive), &out);
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void pythonZip(const fs::path& archive, const std::string& body) {
    TempDir dir;
    spit(dir / "make.py",
         "import sys, struct, zipfile, zlib\n"
         "z = zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED)\n"
         "class RawName(zipfile.ZipInfo):\n"
         "    def _encodeFilenameFlags(self):\n"
         "        return self.raw, 0\n"
         "def add(name, data, system=0, mode=None, unicode=None):\n"
         "    info = RawName('entry%d' % len(z.infolist()), (2020, 1, 2, 3, 4, 6))\n"
         "    info.raw = name\n"
         "    info.create_system = system\n"
         "    info.compress_type = zipfile.ZIP_DEFLATED\n"
         "    if mode is not None:\n"
         "        info.external_attr = (0o100000 | mode) << 16\n"
         "    if unicode is not None:\n"
         "        u = unicode.encode()\n"
         "        info.extra = struct.pack('<HHBI', 0x7075, 5 + len(u), 1, zlib.crc32(name)) + u\n"
         "    z.writestr(info, data)\n" +
             body + "\nz.close()\n");
    shell("python3 " + quote(dir / "make.py") + " " + quote(archive));
}

Module::Module(const std::string& path, const std::string& prefix) {
    handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return;
    run = reinterpret_cast<decltype(run)>(::dlsym(handle, prefix.c_str()));
    getRunning =
        reinterpret_cast<decltype(getRunning)>(::dlsym(handle, (prefix + "GetRunning").c_str()));
    getVersion =
        reinterpret_cast<decltype(getVersion)>(::dlsym(handle, (prefix + "GetVersion").c_str()));
    setProgress =
        reinterpret_cast<decltype(setProgress)>(::dlsym(handle, (prefix + "SetProgress").c_str()));
}

Module::~Module() {
    if (handle)
        ::dlclose(handle);
}

const Module& zipModule() {
    static Module m(ZIP32J_PATH, "Zip");
    return m;
}

const Module& unzipModule() {
    static Module m(UNZIP32_PATH, "UnZip");
    return m;
}

const Module& loaded(const Module& module) {
    EXPECT_TRUE(module.loaded());
    return module;
}

std::string zipCommand(const std::string& options, const fs::path& archive,
                       const std::string& argument) {
    return options + " \"" + archive.string() + "\" \"" + argument + "\"";
}

} // namespace ztest
