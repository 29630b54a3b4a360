// Configuration loading: load, load plus one look-up (whole file, or one section through
// the section filter as the module's own readers load), and serialize-and-save of
// generated configuration files of 100 KB, 1 MB and 10 MB, beside the system's
// initialization-file reader looking up the same values in a flat INI file that holds
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

// One value to look up: its section path, key and the value expected.
struct Lookup {
    std::string section;
    std::string key;
    std::string value;
};

struct Generated {
    std::string nested;  // the writer's layout
    std::string ini;     // the same entries, one INI section per section path
    Lookup deep;         // the last entry of the file, in the last (nested) section
    Lookup start;        // the last entry of "General", the first section
    Lookup end;          // the last own entry of the last top-level section
};

// A product-like file: a "General" section, then component sections with their own
// entries and a few sub-sections (files, registry, shortcuts with a nested Start-menu
// section), until the text reaches `targetSize`.
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
    Lookup last;
    auto section = [&](const std::string& path, int depth, int entries) {
        const std::string name = path.substr(path.rfind('\\') + 1);
        out.nested += std::string(depth, ' ') + "[" + name + "]\r\n";
        out.ini += "[" + path + "]\r\n";
        for (int i = 0; i < entries; ++i) {
            const std::string key = std::string(words[below(14)]) + std::to_string(i);
            const std::string text = value();
            out.nested += std::string(depth + 1, ' ') + key + " = " + text + "\r\n";
            out.ini += key + "=" + text + "\r\n";
            last = {path, key, text};
        }
    };
    auto close = [&](int depth) { out.nested += std::string(depth, ' ') + "[]\r\n"; };

    section("General", 0, 20);
    close(0);
    out.start = last;
    for (int component = 0; out.nested.size() < targetSize; ++component) {
        char name[32];
        wsprintfA(name, "Component%05d", component);
        section(name, 0, 8 + below(16));
        out.end = last;
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
    out.deep = last;
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

std::string IniLookup(const Lookup& lookup, const std::string& path)
{
    std::vector<char> buffer(4096);
    GetPrivateProfileStringA(lookup.section.c_str(), lookup.key.c_str(), "", buffer.data(),
                             static_cast<DWORD>(buffer.size()), path.c_str());
    return buffer.data();
}

// What a caller pays for one value, starting from the file name: load (the whole file,
// or with the section filter and ValuesOnly as the module's own readers do), GetString
// and dropping the document. False, with a message, when the value read is not the one
// written.
bool TimeLookup(const std::string& path, const Lookup& lookup, bool filtered, std::vector<double>& times)
{
    const double start = bench::Now();
    std::string found;
    {
        ConfigDocument document;
        if (filtered)
            document.Load(path.c_str(), lookup.section.c_str(), LoadMode::ValuesOnly);
        else
            document.Load(path.c_str());
        found = document.GetString(lookup.section.c_str(), lookup.key.c_str(), "");
    }
    times.push_back(bench::Now() - start);
    if (found == lookup.value)
        return true;
    printf("wrong value from the document: %s\n", found.c_str());
    return false;
}

// The system's reader on a file freshly rewritten with the same bytes (20 ms later, so
// its write time changes and no cached copy can serve).
bool TimeIniFresh(const std::string& path, const std::string& bytes, const Lookup& lookup,
                  std::vector<double>& times)
{
    Sleep(20);
    WriteWhole(path, bytes);
    const double start = bench::Now();
    const std::string found = IniLookup(lookup, path);
    times.push_back(bench::Now() - start);
    if (found == lookup.value)
        return true;
    printf("wrong value from the INI reader: %s\n", found.c_str());
    return false;
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

    std::vector<double> parse, load, lookup, startLookup, endLookup, save, iniWarm, iniFresh, iniStart, iniEnd;
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

        // The filtered loads take turns at coming first after the full one.
        const bool startFirst = r % 2 == 0;
        if (!TimeLookup(cfgPath, data.deep, false, lookup) ||
            !TimeLookup(cfgPath, startFirst ? data.start : data.end, true, startFirst ? startLookup : endLookup) ||
            !TimeLookup(cfgPath, startFirst ? data.end : data.start, true, startFirst ? endLookup : startLookup))
            return 1;

        ConfigDocument document;
        document.Load(cfgPath.c_str());
        start = bench::Now();
        if (!document.SaveAs(savedPath.c_str()))
            return 1;
        save.push_back(bench::Now() - start);

        // The system's reader on a file it has just read (it may keep it cached) ...
        IniLookup(data.deep, iniPath);
        start = bench::Now();
        const std::string found = IniLookup(data.deep, iniPath);
        iniWarm.push_back(bench::Now() - start);
        if (found != data.deep.value) {
            printf("wrong value from the INI reader: %s\n", found.c_str());
            return 1;
        }
        // ... and on one freshly rewritten, for each of the three values.
        if (!TimeIniFresh(iniPath, data.ini, data.deep, iniFresh) ||
            !TimeIniFresh(iniPath, data.ini, data.start, iniStart) || !TimeIniFresh(iniPath, data.ini, data.end, iniEnd))
            return 1;
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
    const double startS = Median(startLookup), endS = Median(endLookup);
    const double warmS = Median(iniWarm), freshS = Median(iniFresh), freshStartS = Median(iniStart),
                 freshEndS = Median(iniEnd);
    printf("%s: %.2f MB nested, %.2f MB INI, %d runs (medians)\n", label, megabytes,
           static_cast<double>(data.ini.size()) / (1024.0 * 1024.0), repeats);
    printf("  parse from memory          %9.3f ms  %8.1f MB/s\n", parseS * 1e3, megabytes / parseS);
    printf("  load                       %9.3f ms  %8.1f MB/s\n", loadS * 1e3, megabytes / loadS);
    printf("  serialize + save           %9.3f ms  %8.1f MB/s\n", saveS * 1e3, megabytes / saveS);
    printf("  INI lookup, warm           %9.3f ms\n", warmS * 1e3);
    printf("  full load + GetString      %9.3f ms  INI fresh %9.3f ms  (%.1fx)\n", lookupS * 1e3, freshS * 1e3,
           freshS / lookupS);
    printf("  filtered load, first sect. %9.3f ms  INI fresh %9.3f ms  (%.1fx)\n", startS * 1e3,
           freshStartS * 1e3, freshStartS / startS);
    printf("  filtered load, last sect.  %9.3f ms  INI fresh %9.3f ms  (%.1fx)\n", endS * 1e3, freshEndS * 1e3,
           freshEndS / endS);

    const std::string prefix = std::string("config_") + label + "_";
    bench::Report(prefix + "size", megabytes, "MB");
    bench::Report(prefix + "parse", parseS * 1e3, "ms");
    bench::Report(prefix + "parse_throughput", megabytes / parseS, "MB/s");
    bench::Report(prefix + "load", loadS * 1e3, "ms");
    bench::Report(prefix + "load_throughput", megabytes / loadS, "MB/s");
    bench::Report(prefix + "save", saveS * 1e3, "ms");
    bench::Report(prefix + "save_throughput", megabytes / saveS, "MB/s");
    bench::Report(prefix + "ini_lookup_warm", warmS * 1e3, "ms");
    bench::Report(prefix + "load_lookup", lookupS * 1e3, "ms");
    bench::Report(prefix + "load_lookup_throughput", megabytes / lookupS, "MB/s");
    bench::Report(prefix + "ini_lookup_fresh", freshS * 1e3, "ms");
    bench::Report(prefix + "ini_fresh_vs_load_lookup", freshS / lookupS, "x");
    bench::Report(prefix + "filtered_start_lookup", startS * 1e3, "ms");
    bench::Report(prefix + "ini_lookup_fresh_start", freshStartS * 1e3, "ms");
    bench::Report(prefix + "ini_fresh_vs_filtered_start", freshStartS / startS, "x");
    bench::Report(prefix + "filtered_end_lookup", endS * 1e3, "ms");
    bench::Report(prefix + "filtered_end_throughput", megabytes / endS, "MB/s");
    bench::Report(prefix + "ini_lookup_fresh_end", freshEndS * 1e3, "ms");
    bench::Report(prefix + "ini_fresh_vs_filtered_end", freshEndS / endS, "x");
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
