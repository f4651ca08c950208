// AddData and Find on a URL base object holding 100,000 visits.
//   build/bin/urlbase_bench [records] [adds]
#include <cstdlib>

#include "WYSCHelper/CIndexFile.h"
#include "WYSCHelper/CWYSCURLBase.h"
#include "bench/WYSCHelper/BenchSupport.h"
#include "platform/registry/Registry.h"

int main(int argc, char** argv)
{
    using namespace wys::bench;
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int adds = argc > 2 ? std::atoi(argv[2]) : 200;
    ScratchFolder home;
    // Keep the settings away from the real user's registry.
    ::setenv("HOME", home.Path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home.Path() + "/.config").c_str(), 1);
    const std::string history = home.Path() + "/history";
    std::filesystem::create_directories(history + "/2003/November/27");
    const std::int64_t now = 1069941909;

    {
        CUrlRecordList list;
        for (int i = 0; i < records; ++i)
            list.Append(VisitRecord(now - records + i, i));
        CIndexFile::Write(CIndexFile::PathIn(history), list);
        HKEY key = nullptr;
        RegCreateKeyEx(HKEY_CURRENT_USER, CWYSCURLBase::kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_WRITE, nullptr, &key, nullptr);
        RegSetValueEx(key, "BasePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(history.c_str()),
                      static_cast<DWORD>(history.size() + 1));
        RegCloseKey(key);
    }

    CUrlBaseOptions options;
    options.Now = [now] { return now; };
    ComPtr<IWYSCURLBase> base;
    Stopwatch create;
    if (FAILED(CWYSCURLBase::Create(IWYSCURLBase::Iid, base.PutVoid(), options)))
        return 1;
    const double createMs = create.WallMs();
    ULONG count = 0;
    base->get_DataCount(&count);
    if (count != static_cast<ULONG>(records)) {
        std::fprintf(stderr, "loaded %u of %d records\n", count, records);
        return 1;
    }

    // Every tenth AddData also runs expiry and saves the index: counted apart.
    std::vector<double> plain;
    std::vector<double> tenth;
    for (int i = 0; i < adds; ++i) {
        std::string page = "2003/November/27/new page " + std::to_string(i) + ".htm";
        std::FILE* file = std::fopen((history + "/" + page).c_str(), "w");
        if (file)
            std::fclose(file);
        CComBSTR url("http://www.example.com/new/" + std::to_string(i));
        CComBSTR path(page);
        CComBSTR title("New page");
        Stopwatch add;
        HRESULT hr = base->AddData(_URL_DATE_{now, url, path, title});
        double ms = add.WallMs();
        if (hr != S_OK) {
            std::fprintf(stderr, "AddData failed: %08x\n", static_cast<unsigned>(hr));
            return 1;
        }
        ((i + 1) % 10 == 0 ? tenth : plain).push_back(ms);
    }

    std::vector<double> finds;
    CComBSTR missing("http://www.example.com/not/there");
    CComBSTR middle("http://www.example.com/articles/2003/11/some-article-name-" +
                    std::to_string(records / 2) + ".html");
    for (int i = 0; i < 50; ++i) {
        ULONG index = 0;
        Stopwatch find;
        base->Find(now, missing, &index);
        finds.push_back(find.WallMs());
        base->Find(now - records + records / 2, middle, &index);
        if (index != static_cast<ULONG>(records / 2))
            return 1;
    }

    std::printf("URL base object with %d visits (created and loaded in %.1f ms)\n", records, createMs);
    Print("AddData (duplicate scan, existence check)", Summarise(plain));
    Print("AddData, every tenth (expiry pass, save)", Summarise(tenth));
    Print("Find, no match (scan of the whole list)", Summarise(finds));
    double load = 0;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = 0;
        std::fclose(f);
    }
    std::printf("machine load average: %.2f\n", load);
    return 0;
}
