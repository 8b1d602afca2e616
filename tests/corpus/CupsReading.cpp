// libcups's reading of PPD files, one record per file, for the differential
// test. A separate program so that libcups runs uninstrumented even in the
// sanitizer build: its arrays grow one entry at a time, which under ASan
// turns every file with thousands of constraints into gigabytes of copying.
//
// Reads file paths, one a line, from standard input and writes per file:
//   FILE <path>
//   ERROR <message>                      (libcups refused the file), or
//   FEATURE <keyword> <group> <text> <default>
//   CHOICE <keyword> <text>              (after its feature, in order)
//   CONSTRAINTS <count>
//   END
// Fields are separated by tabs; tab, line feed, carriage return and backslash
// inside a field are written as \t, \n, \r and \\.
#include <cups/ppd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

std::string Escape(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        switch (*p) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default: out.push_back(*p);
        }
    }
    return out;
}

void WriteOption(const ppd_option_t& option, const char* group) {
    std::cout << "FEATURE\t" << Escape(option.keyword) << '\t' << Escape(group) << '\t' << Escape(option.text) << '\t'
              << Escape(option.defchoice) << '\n';
    for (int c = 0; c < option.num_choices; ++c)
        std::cout << "CHOICE\t" << Escape(option.choices[c].choice) << '\t' << Escape(option.choices[c].text) << '\n';
}

}  // namespace

int main() {
    std::string path;
    while (std::getline(std::cin, path)) {
        std::cout << "FILE\t" << Escape(path.c_str()) << '\n';
        ppd_file_t* ppd = ppdOpenFile(path.c_str());
        if (!ppd) {
            int line = 0;
            ppd_status_t status = ppdLastError(&line);
            std::cout << "ERROR\t" << Escape(ppdErrorString(status)) << " on line " << line << "\nEND\n";
            continue;
        }
        for (int g = 0; g < ppd->num_groups; ++g) {
            const ppd_group_t& group = ppd->groups[g];
            for (int o = 0; o < group.num_options; ++o) WriteOption(group.options[o], group.name);
            // Options of a subgroup belong to its group, as the model sees them.
            for (int s = 0; s < group.num_subgroups; ++s)
                for (int o = 0; o < group.subgroups[s].num_options; ++o)
                    WriteOption(group.subgroups[s].options[o], group.name);
        }
        std::cout << "CONSTRAINTS\t" << ppd->num_consts << "\nEND\n";
        std::cout.flush();
        ppdClose(ppd);
    }
    return 0;
}
