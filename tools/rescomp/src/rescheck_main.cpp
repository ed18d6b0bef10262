// rescheck: says whether language resource libraries hold the resource ids a program requires.
//   rescheck --program NAME LIBRARY...    prints what each library lacks
//   rescheck --list                       prints what each program requires
// Exit status: 0 when every library is complete, 1 when anything is missing, 2 for a usage error
// (a program that is unknown or has no requirements listed) or a file that is not a resource file.
#include <iostream>
#include <string>
#include <vector>

#include "rescomp/checker.h"
#include "rescomp/files.h"

namespace {

int usage() {
    std::cerr << "usage: rescheck --program NAME LIBRARY...\n       rescheck --list\n";
    return 2;
}

std::string ids(const std::vector<UINT>& list) { return list.empty() ? "none" : rescomp::formatIds(list); }

}  // namespace

int main(int argc, char** argv) {
    std::string program;
    std::vector<std::string> files;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--program" && i + 1 < argc) program = argv[++i];
        else if (arg == "--list") list = true;
        else if (!arg.empty() && arg[0] == '-') return usage();
        else files.push_back(arg);
    }
    if (list) {
        for (const rescomp::Requirements& r : rescomp::programs()) {
            std::cout << r.program << ": dialogs " << ids(r.dialogs) << "; strings " << ids(r.strings) << "; icons "
                      << ids(r.icons) << "; bitmaps " << ids(r.bitmaps);
            if (!r.bitmapsWhenRightToLeft.empty())
                std::cout << "; right-to-left bitmaps " << ids(r.bitmapsWhenRightToLeft);
            for (const auto& [dialog, controls] : r.controls)
                std::cout << "; controls " << ids(controls) << " of dialog " << dialog;
            std::cout << "\n";
        }
        return 0;
    }
    if (program.empty() || files.empty()) return usage();
    const rescomp::Requirements* required = rescomp::requirementsFor(program);
    if (!required) {
        std::string known;
        for (const rescomp::Requirements& r : rescomp::programs()) known += (known.empty() ? "" : ", ") + r.program;
        std::cerr << "rescheck: unknown program '" << program << "' (known: " << known << ")\n";
        return 2;
    }
    if (required->empty()) {
        // Nothing to hold against a library: saying it holds everything would pass anything.
        std::cerr << "rescheck: no requirements are listed for " << required->program << "\n";
        return 2;
    }
    int status = 0;
    for (const std::string& file : files) {
        rescomp::FileBytes read = rescomp::readRegularFile(file, rescomp::kMaxLibraryBytes);
        std::string why = read.bytes ? std::string() : "it " + read.error;
        auto content = read.bytes ? platform::resources::parse(*read.bytes, &why) : std::nullopt;
        if (!content) {
            std::cout << file << ": not a usable resource library: " << why << "\n";
            status = 2;
            continue;
        }
        auto lacks = rescomp::missing(*required, rescomp::inventoryOf(*content));
        if (lacks.empty()) {
            std::cout << file << ": holds everything " << required->program << " requires\n";
        } else {
            std::cout << file << ": lacks " << rescomp::describe(lacks) << "\n";
            if (status == 0) status = 1;
        }
    }
    return status;
}
