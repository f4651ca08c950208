// Saving and loading an index file of 100,000 visits.
//   build/bin/index_file_bench [records] [rounds]
#include <cstdlib>

#include "WYSCHelper/CIndexFile.h"
#include "bench/WYSCHelper/BenchSupport.h"

int main(int argc, char** argv)
{
    using namespace wys::bench;
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 15;
    ScratchFolder folder;
    const std::string path = CIndexFile::PathIn(folder.Path());

    CUrlRecordList list;
    for (int i = 0; i < records; ++i)
        list.Append(VisitRecord(1069891200 + i, i));

    std::vector<double> saves;
    std::vector<double> loads;
    std::vector<double> saveCpu;
    std::vector<double> loadCpu;
    std::size_t loaded = 0;
    for (int round = 0; round < rounds; ++round) {
        Stopwatch save;
        if (!CIndexFile::Write(path, list)) {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
        saves.push_back(save.WallMs());
        saveCpu.push_back(save.CpuMs());

        // Each round loads into memory the process has just given back, as
        // a server starting up does.
        CUrlRecordList back;
        Stopwatch load;
        CIndexFile::Read(path, &back);
        loads.push_back(load.WallMs());
        loadCpu.push_back(load.CpuMs());
        loaded = back.Count();
    }
    if (loaded != static_cast<std::size_t>(records)) {
        std::fprintf(stderr, "loaded %zu of %d records\n", loaded, records);
        return 1;
    }
    std::printf("index file of %d records, %ju bytes, %d rounds\n", records,
                static_cast<std::uintmax_t>(std::filesystem::file_size(path)), rounds);
    Print("save (write, flush to disk, rename), wall", Summarise(saves));
    Print("save, CPU", Summarise(saveCpu));
    Print("load, wall", Summarise(loads));
    Print("load, CPU", Summarise(loadCpu));
    double load = 0;
    if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = 0;
        std::fclose(f);
    }
    std::printf("machine load average: %.2f\n", load);
    return 0;
}
