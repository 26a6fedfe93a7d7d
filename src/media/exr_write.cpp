// One-channel OpenEXR output: 32-bit float samples with lossless ZIP compression, the
// companion of the float TIFF for programs that prefer this format.
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include <exception>

#include "media/image_write.h"
#include "support/log.h"

bool save_image_exr(const std::string& path, const float* samples, int width, int height)
{
    if (!samples || width <= 0 || height <= 0)
        return false;
    try {
        Imf::Header header(width, height);
        header.compression() = Imf::ZIP_COMPRESSION;
        header.channels().insert("Y", Imf::Channel(Imf::FLOAT));
        Imf::OutputFile file(path.c_str(), header, 1);
        Imf::FrameBuffer frame;
        frame.insert("Y", Imf::Slice(Imf::FLOAT, (char*)samples, sizeof(float), sizeof(float) * (size_t)width));
        file.setFrameBuffer(frame);
        file.writePixels(height);
    } catch (const std::exception& e) {
        log_printf(stderr, "save_image_exr() couldn't write file '%s': %s\n", path.c_str(), e.what());
        return false;
    }
    return true;
}
