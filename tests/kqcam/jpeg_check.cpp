#include "jpeg_check.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace kqcam_test {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    info->err->format_message(info, manager->message);
    std::longjmp(manager->jump, 1);
}

unsigned char At(const std::string& s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

}  // namespace

Picture DecodeJpeg(const std::string& data) {
    Picture picture;
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    if (setjmp(errors.jump) != 0) {
        picture.error = errors.message;
        jpeg_destroy_decompress(&info);
        return picture;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    std::string row(static_cast<std::size_t>(info.output_width) * info.output_components, '\0');
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(&row[0])};
        jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    picture.width = static_cast<int>(info.output_width);
    picture.height = static_cast<int>(info.output_height);
    picture.ok = errors.base.num_warnings == 0;
    if (!picture.ok) picture.error = "decoder warnings (corrupt data)";
    jpeg_destroy_decompress(&info);
    return picture;
}

bool SplitMjpeg(const std::string& stream, std::vector<std::string>* frames, std::string* error) {
    std::size_t pos = 0;
    while (pos < stream.size()) {
        const std::size_t start = pos;
        if (stream.size() - pos < 4 || At(stream, pos) != 0xFF || At(stream, pos + 1) != 0xD8) {
            *error = "no start-of-image marker at offset " + std::to_string(pos);
            return false;
        }
        pos += 2;
        bool ended = false;
        while (!ended) {
            if (pos + 4 > stream.size() || At(stream, pos) != 0xFF) {
                *error = "broken marker segment at offset " + std::to_string(pos);
                return false;
            }
            const unsigned char marker = At(stream, pos + 1);
            const std::size_t length = (At(stream, pos + 2) << 8) | At(stream, pos + 3);
            pos += 2 + length;
            if (marker != 0xDA) continue;
            // Entropy-coded data: ends at the first marker that is neither a
            // stuffed zero nor a restart marker.
            for (;;) {
                if (pos + 1 >= stream.size()) {
                    *error = "image ends inside its scan";
                    return false;
                }
                if (At(stream, pos) == 0xFF) {
                    const unsigned char next = At(stream, pos + 1);
                    if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                        pos += 2;
                        continue;
                    }
                    if (next == 0xD9) {
                        pos += 2;
                        ended = true;
                    }
                    break;
                }
                ++pos;
            }
        }
        frames->push_back(stream.substr(start, pos - start));
    }
    return true;
}

}  // namespace kqcam_test
