// Property lists against references measured in the same iterations; the "ratio" counter
// is ours divided by the reference:
// - loading a 5 MB property-list document into a tree, against libxml2 alone parsing the
//   same file into its own tree (and freeing it);
// - a lookup of "US/Button/Cancel" in the shipped string file, through the keeper as the
//   dialog makes it, against three std::map lookups of the same keys in maps that hold
//   the same entries.

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <variant>

#include "foundation/plist/XpIniDict.h"
#include "foundation/strings/SfStringsManagerKeeper.h"

namespace {

// The calling thread's own processor time: the machine's other work does not count.
std::chrono::nanoseconds ThreadTime()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Runs ours and the reference in every iteration, each `block` times in a row, and reports
// the ratio of their processor times. Blocks keep each side in its own steady state: a
// side that runs right after the other pays for the memory the other just freed (the
// allocator sorts it when the next large block is asked for).
template <class Ours, class Reference>
void Compare(benchmark::State& state, Ours&& ours, Reference&& reference, int block = 1)
{
    std::chrono::nanoseconds oursTime{}, referenceTime{};
    for (auto _ : state) {
        const auto start = ThreadTime();
        for (int i = 0; i < block; ++i) ours();
        const auto middle = ThreadTime();
        for (int i = 0; i < block; ++i) reference();
        oursTime += middle - start;
        referenceTime += ThreadTime() - middle;
    }
    const double iterations = static_cast<double>(state.iterations()) * block;
    state.counters["ours_us"] = static_cast<double>(oursTime.count()) / 1000.0 / iterations;
    state.counters["reference_us"] = static_cast<double>(referenceTime.count()) / 1000.0 / iterations;
    state.counters["ratio"] = static_cast<double>(oursTime.count()) / static_cast<double>(referenceTime.count());
}

// A document of about 5 MB: sections of texts, numbers, dates, data and lists.
std::string MakeDocument()
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
    for (int section = 0; xml.size() < (5u << 20); ++section) {
        xml += "  <key>Section" + std::to_string(section) + "</key>\n  <dict>\n";
        for (int i = 0; i < 12; ++i) {
            xml += "    <key>Text" + std::to_string(i) + "</key><string>The quick brown fox &amp; friend number " +
                   std::to_string(section * 100 + i) + "</string>\n";
        }
        xml += "    <key>Count</key><integer>" + std::to_string(section * 7919) + "</integer>\n";
        xml += "    <key>Ratio</key><real>" + std::to_string(section) + ".250000000000000</real>\n";
        xml += "    <key>When</key><date>2011:03:15T04:19:45Z</date>\n";
        xml += "    <key>Bytes</key><data>00112233445566778899aabbccddeeff</data>\n";
        xml += "    <key>Flags</key><array><true/><false/><integer>1</integer><string>item</string></array>\n";
        xml += "  </dict>\n";
    }
    return xml + "</dict>\n</plist>\n";
}

std::string WriteTemporary(const std::string& bytes)
{
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder && *folder ? folder : "/tmp") + "/kestrow-bench-XXXXXX";
    const int fd = mkstemp(path.data());
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    close(fd);
    return path;
}

XpString Wide(const std::string& ascii)
{
    std::basic_string<XpChar> wide(ascii.begin(), ascii.end());
    return XpString(wide.c_str(), static_cast<int32_t>(wide.size()));
}

void LoadDocument(benchmark::State& state)
{
    const std::string path = WriteTemporary(MakeDocument());
    const XpString widePath = Wide(path);
    int entries = 0;
    Compare(
        state,
        [&] {
            // A tree of its own each time, destroyed again, as the reference frees its own.
            XpIniDict dict;
            if (dict.LoadFromFile(widePath.GetString()) != XpRc::Ok) state.SkipWithError("the document did not load");
            entries = dict.Count();
        },
        [&] {
            xmlDocPtr document = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET);
            if (!document) state.SkipWithError("libxml2 did not parse the document");
            xmlFreeDoc(document);
        },
        4);
    std::remove(path.c_str());
    state.counters["entries"] = entries;
}

// The same entries in standard maps: a text, or a map one level down.
struct Node {
    std::variant<std::u16string, std::map<std::u16string, Node>> value;
};

std::u16string Standard(const XpString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.GetString()), static_cast<size_t>(text.GetLength()));
}

std::map<std::u16string, Node> Copy(const XpIniDict& dict)
{
    std::map<std::u16string, Node> copy;
    for (const auto& [key, element] : dict.GetEntries()) {
        XpString text;
        if (element->GetType() == XpIniType::Dict)
            copy[Standard(key)].value = Copy(static_cast<const XpIniDict&>(*element));
        else if (element->GetString(text) == XpRc::Ok)
            copy[Standard(key)].value = Standard(text);
    }
    return copy;
}

void LookUpText(benchmark::State& state)
{
    if (SfStringsManagerKeeper::Initialize({Wide(KESTROW_STRINGS_FILE)}) != XpRc::Ok) {
        state.SkipWithError("the string file did not load");
        return;
    }
    const auto maps = Copy(*SfStringsManagerKeeper::GetInstance()->GetManagers().at(0)->GetRoot());
    const std::u16string us = u"US", button = u"Button", cancel = u"Cancel";
    constexpr int kRounds = 1024;
    Compare(
        state,
        [] {
            for (int i = 0; i < kRounds; ++i) {
                const XpString text = SfStringsManagerKeeper::GetString(XP_T("US/Button/Cancel"));
                benchmark::DoNotOptimize(text.GetString());
            }
        },
        [&] {
            for (int i = 0; i < kRounds; ++i) {
                const auto& language = std::get<1>(maps.find(us)->second.value);
                const auto& section = std::get<1>(language.find(button)->second.value);
                const auto& text = std::get<0>(section.find(cancel)->second.value);
                benchmark::DoNotOptimize(text.data());
            }
        });
    delete SfStringsManagerKeeper::GetInstance();
}

}  // namespace

BENCHMARK(LoadDocument)->Unit(benchmark::kMillisecond);
BENCHMARK(LookUpText);
