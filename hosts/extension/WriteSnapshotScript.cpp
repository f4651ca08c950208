// Writes the snapshot script of the browser hosts as the extension's
// snapshot.js, so that the extension serialises pages with the very script
// wayscribe-browser runs:
//   wys_write_snapshot_script OUTPUT
#include <cstdio>
#include <fstream>

#include "hosts/browser/PageSnapshot.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: wys_write_snapshot_script OUTPUT\n", stderr);
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << "// Made by the build from the snapshot script of wayscribe-browser; not to be edited.\n"
           "// wayscribeSnapshot() returns the snapshot of the page it runs in as a JSON text.\n"
           "function wayscribeSnapshot() {\n"
           "  return "
        << wys::browser_host::kSnapshotScript << ";\n}\n";
    out.close();
    if (!out) {
        std::fprintf(stderr, "wys_write_snapshot_script: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
