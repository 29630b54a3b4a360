// Configuration loading: load, load plus one look-up, and serialize-and-save of
// generated configuration files of 100 KB, 1 MB and 10 MB, beside the system's
// initialization-file reader looking up the same value in a flat INI file that holds
// the same entries.
#include "bench_common.h"

#include "config/config_document.h"
#include "config/config_writer.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

struct Generated {
    std::string nested;  // the writer's layout
    std::string ini;     // the same entries, one INI section per section path
    std::string lookupSection;
    std::string lookupKey;
    std::string lookupValue;
};

// A product-like file: a "General" section, then component sections with their own
// entries and a few sub-sections (files, registry, shortcuts with a nested Start-menu
// section), until the text reaches `targetSize`. The value looked up is the last entry
// of the last section, so a reader has to go through the whole file to find it.
Generated Generate(size_t targetSize)
{
    std::mt19937 random(4711);
    auto below = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    static const char* const words[] = {"Velm", "Agent", "Update", "Channel", "Program Files", "Data", "Cache",
                                        "Start", "Menu", "Tools", "Stats", "user", "Shared", "Setup"};
    auto value = [&]() {
        switch (below(4)) {
        case 0:
            return std::to_string(below(100000));
        case 1:
            return std::string("C:\\") + words[below(14)] + "\\" + words[below(14)] + "\\file" +
                   std::to_string(below(1000)) + ".dat";
        case 2:
            return std::string("{") + std::to_string(random()) + "-" + std::to_string(random()) + "}";
        default:
            return std::string(words[below(14)]) + " " + words[below(14)] + " " + words[below(14)];
        }
    };

    Generated out;
    std::string lastSection, lastKey, lastValue;
    auto section = [&](const std::string& path, int depth, int entries) {
        const std::string name = path.substr(path.rfind('\\') + 1);
        out.nested += std::string(depth, ' ') + "[" + name + "]\r\n";
        out.ini += "[" + path + "]\r\n";
        for (int i = 0; i < entries; ++i) {
            const std::string key = std::string(words[below(14)]) + std::to_string(i);
            const std::string text = value();
            out.nested += std::string(depth + 1, ' ') + key + " = " + text + "\r\n";
            out.ini += key + "=" + text + "\r\n";
            lastSection = path;
            lastKey = key;
            lastValue = text;
        }
    };
    auto close = [&](int depth) { out.nested += std::string(depth, ' ') + "[]\r\n"; };

    section("General", 0, 20);
    close(0);
    for (int component = 0; out.nested.size() < targetSize; ++component) {
        char name[32];
        wsprintfA(name, "Component%05d", component);
        section(name, 0, 8 + below(16));
        const int subs = below(4);
        for (int s = 0; s < subs; ++s) {
            static const char* const subNames[] = {"Files", "Registry", "Shortcuts"};
            const std::string sub = std::string(name) + "\\" + subNames[s];
            section(sub, 1, 4 + below(12));
            if (s == 2) {
                section(sub + "\\StartMenu", 2, 3);
                close(2);
            }
            close(1);
        }
        close(0);
    }
    out.lookupSection = lastSection;
    out.lookupKey = lastKey;
    out.lookupValue = lastValue;
    return out;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool WriteWhole(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::string IniLookup(const Generated& data, const std::string& path)
{
    std::vector<char> buffer(4096);
    GetPrivateProfileStringA(data.lookupSection.c_str(), data.lookupKey.c_str(), "", buffer.data(),
                             static_cast<DWORD>(buffer.size()), path.c_str());
    return buffer.data();
}

int RunSize(const std::string& folder, const char* label, size_t targetSize)
{
    const Generated data = Generate(targetSize);
    const double megabytes = static_cast<double>(data.nested.size()) / (1024.0 * 1024.0);
    const int repeats = targetSize >= 8 * 1024 * 1024 ? 5 : targetSize >= 1024 * 1024 ? 15 : 60;
    const std::string cfgPath = folder + "\\" + label + ".cfg";
    const std::string savedPath = folder + "\\" + label + ".saved.cfg";
    const std::string iniPath = folder + "\\" + label + ".ini";
    if (!WriteWhole(cfgPath, data.nested) || !WriteWhole(iniPath, data.ini)) {
        printf("cannot write the files of %s\n", label);
        return 1;
    }

    std::vector<double> parse, load, lookup, save, iniWarm, iniFresh;
    for (int r = 0; r < repeats; ++r) {
        // Parsing alone, from memory.
        ConfigText text;
        text.Assign(data.nested.data(), data.nested.size());
        double start = bench::Now();
        {
            ConfigDocument document;
            document.Parse(text, nullptr, LoadMode::All, SharedRef<ConfigPath>(), false);
            parse.push_back(bench::Now() - start);
        }

        start = bench::Now();
        {
            ConfigDocument document;
            if (!document.Load(cfgPath.c_str()))
                return 1;
            load.push_back(bench::Now() - start);
        }

        // What GetString costs a caller that starts from the file name.
        start = bench::Now();
        std::string found;
        {
            ConfigDocument document;
            document.Load(cfgPath.c_str());
            found = document.GetString(data.lookupSection.c_str(), data.lookupKey.c_str(), "");
        }
        lookup.push_back(bench::Now() - start);
        if (found != data.lookupValue) {
            printf("wrong value from the document: %s\n", found.c_str());
            return 1;
        }

        ConfigDocument document;
        document.Load(cfgPath.c_str());
        start = bench::Now();
        if (!document.SaveAs(savedPath.c_str()))
            return 1;
        save.push_back(bench::Now() - start);

        // The system's reader on a file it has just read (it may keep it cached) ...
        IniLookup(data, iniPath);
        start = bench::Now();
        found = IniLookup(data, iniPath);
        iniWarm.push_back(bench::Now() - start);
        if (found != data.lookupValue) {
            printf("wrong value from the INI reader: %s\n", found.c_str());
            return 1;
        }
        // ... and on one freshly rewritten (same bytes, new write time).
        Sleep(20);
        WriteWhole(iniPath, data.ini);
        start = bench::Now();
        found = IniLookup(data, iniPath);
        iniFresh.push_back(bench::Now() - start);
        if (found != data.lookupValue) {
            printf("wrong value from the INI reader after rewriting: %s\n", found.c_str());
            return 1;
        }
    }

    std::string saved;
    {
        ConfigText check;
        SharedRef<ConfigPath> record = MakeConfigPath(savedPath.c_str());
        check.ReadFileText(record, 0);
        saved.assign(check.Data(), check.Length());
    }
    if (saved != data.nested) {
        printf("the saved file differs from the generated layout\n");
        return 1;
    }

    const double parseS = Median(parse), loadS = Median(load), lookupS = Median(lookup), saveS = Median(save);
    const double warmS = Median(iniWarm), freshS = Median(iniFresh);
    printf("%s: %.2f MB nested, %.2f MB INI, %d runs (medians)\n", label, megabytes,
           static_cast<double>(data.ini.size()) / (1024.0 * 1024.0), repeats);
    printf("  parse from memory   %9.3f ms  %8.1f MB/s\n", parseS * 1e3, megabytes / parseS);
    printf("  load                %9.3f ms  %8.1f MB/s\n", loadS * 1e3, megabytes / loadS);
    printf("  load + GetString    %9.3f ms  %8.1f MB/s\n", lookupS * 1e3, megabytes / lookupS);
    printf("  serialize + save    %9.3f ms  %8.1f MB/s\n", saveS * 1e3, megabytes / saveS);
    printf("  INI lookup, warm    %9.3f ms\n", warmS * 1e3);
    printf("  INI lookup, fresh   %9.3f ms  (%.1fx the load + GetString time)\n", freshS * 1e3, freshS / lookupS);

    const std::string prefix = std::string("config_") + label + "_";
    bench::Report(prefix + "size", megabytes, "MB");
    bench::Report(prefix + "parse", parseS * 1e3, "ms");
    bench::Report(prefix + "parse_throughput", megabytes / parseS, "MB/s");
    bench::Report(prefix + "load", loadS * 1e3, "ms");
    bench::Report(prefix + "load_throughput", megabytes / loadS, "MB/s");
    bench::Report(prefix + "load_lookup", lookupS * 1e3, "ms");
    bench::Report(prefix + "load_lookup_throughput", megabytes / lookupS, "MB/s");
    bench::Report(prefix + "save", saveS * 1e3, "ms");
    bench::Report(prefix + "save_throughput", megabytes / saveS, "MB/s");
    bench::Report(prefix + "ini_lookup_warm", warmS * 1e3, "ms");
    bench::Report(prefix + "ini_lookup_fresh", freshS * 1e3, "ms");
    bench::Report(prefix + "ini_fresh_vs_load_lookup", freshS / lookupS, "x");
    return 0;
}

// What the general heap charges for the small blocks a tree is made of (an entry's
// value string, a section, a list), allocated in bulk as a load does and released in
// bulk as dropping the document does.
void MeasureHeap()
{
    const int count = 300000;
    std::vector<char*> blocks(count);
    const double start = bench::Now();
    for (char*& block : blocks)
        block = new char[40];
    const double allocated = bench::Now();
    for (char* block : blocks)
        delete[] block;
    const double released = bench::Now();
    printf("heap: %.0f ns per 40-byte allocation, %.0f ns per release\n", (allocated - start) / count * 1e9,
           (released - allocated) / count * 1e9);
    bench::Report("config_heap_new", (allocated - start) / count * 1e9, "ns");
    bench::Report("config_heap_delete", (released - allocated) / count * 1e9, "ns");
}

}  // namespace

int main()
{
    MeasureHeap();
    const std::string folder = bench::ScratchFolder("config_load");
    const struct {
        const char* label;
        size_t size;
    } sizes[] = {{"100k", 100 * 1024}, {"1m", 1024 * 1024}, {"10m", 10 * 1024 * 1024}};
    int status = 0;
    for (const auto& size : sizes)
        status |= RunSize(folder, size.label, size.size);
    bench::ScratchFolder("config_load");
    RemoveDirectoryA(folder.c_str());
    return status;
}
