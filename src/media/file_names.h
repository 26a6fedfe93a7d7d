// What a file name is to the program, by its lower-cased extension.
#pragma once
#include <string>

enum : int {
    file_class_none = 0,
    file_class_image = 1,
    file_class_sound = 2,
    file_class_archive = 3,
};

// 0 for an empty name; "sga" is an archive; no extension or a picture extension is an
// image; anything else is a sound. The extension is what follows the last point of the
// name's last component, compared in lower case.
int classify_file_name(const std::string& name);

// Where a file named in an archive is found: the name itself when that file exists; else the
// archive folder joined with the name's last component when that file exists; else "".
std::string find_load_file(const std::string& name, const std::string& archive_folder);
