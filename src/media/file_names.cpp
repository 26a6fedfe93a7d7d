#include "media/file_names.h"

#include "support/paths.h"

int classify_file_name(const std::string& name)
{
    if (name.empty())
        return file_class_none;
    const std::string ext = path_extension_lower(name);
    if (ext == "sga")
        return file_class_archive;
    // The image decoders' names; one that no decoder reads fails at decoding, not here.
    static const char* const image_extensions[] = {
        "", "bmp", "cut", "dds", "doom", "exr", "hdr", "gif", "ico", "jp2", "jpg", "jpeg", "lbm", "mdl", "mng",
        "pal", "pbm", "pcd", "pcx", "pgm", "pic", "png", "ppm", "pnm", "psd", "psp", "raw", "sgi", "tga", "tif",
        "tiff", "webp",
    };
    for (const char* e : image_extensions)
        if (ext == e)
            return file_class_image;
    return file_class_sound;
}

std::string find_load_file(const std::string& name, const std::string& archive_folder)
{
    if (name.empty())
        return "";
    if (file_exists(name))
        return name;
    if (!archive_folder.empty()) {
        std::string beside = path_join(archive_folder, get_filename_from_path(name));
        if (file_exists(beside))
            return beside;
    }
    return "";
}
