// Decoding of the pictures kqcam writes: whole JPEG files and MJPEG streams.
#ifndef KQCAM_TESTS_JPEG_CHECK_H
#define KQCAM_TESTS_JPEG_CHECK_H

#include <string>
#include <vector>

namespace kqcam_test {

struct Picture {
    bool ok = false;
    int width = 0;
    int height = 0;
    std::string error;
};

// Decodes every scanline of a JPEG image.
Picture DecodeJpeg(const std::string& data);

// Splits an MJPEG stream into its JPEG images by walking the marker
// segments of each; false (with what is wrong in `error`) when the stream
// holds anything but whole images.
bool SplitMjpeg(const std::string& stream, std::vector<std::string>* frames, std::string* error);

}  // namespace kqcam_test

#endif  // KQCAM_TESTS_JPEG_CHECK_H
