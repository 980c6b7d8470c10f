#include "platform/jpeg.h"

#include <csetjmp>
#include <cstdio>

// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace platform {
namespace {

// libjpeg's default error handler ends the process; this one jumps back to DecodeJpeg instead.
struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings (for example "premature end of data") are not fatal to libjpeg, but a truncated
// picture is damaged data and is refused like any other fault.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level < 0) OnError(cinfo);
}

// Everything that lives across setjmp is kept outside the function that calls it, so the jump
// back leaves no half-updated local behind (and no C++ object needs unwinding).
struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  bool created = false;
};

bool Run(Decoder& d, const uint8_t* data, size_t size, int& w, int& h, std::vector<uint8_t>& out,
         std::string& error) {
  if (setjmp(d.err.jump)) {
    error = d.err.message;
    return false;
  }
  jpeg_create_decompress(&d.cinfo);
  d.created = true;
  jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&d.cinfo, TRUE) != JPEG_HEADER_OK) {
    error = "not a JPEG picture";
    return false;
  }
  if (d.cinfo.image_width == 0 || d.cinfo.image_height == 0 ||
      d.cinfo.image_width > static_cast<JDIMENSION>(kMaxJpegSide) ||
      d.cinfo.image_height > static_cast<JDIMENSION>(kMaxJpegSide)) {
    error = "JPEG picture size out of range";
    return false;
  }
  d.cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d.cinfo);
  if (d.cinfo.output_components != 3) {
    error = "unsupported JPEG colour space";
    return false;
  }
  const size_t stride = static_cast<size_t>(d.cinfo.output_width) * 3;
  out.resize(stride * d.cinfo.output_height);
  while (d.cinfo.output_scanline < d.cinfo.output_height) {
    JSAMPROW row = out.data() + stride * d.cinfo.output_scanline;
    jpeg_read_scanlines(&d.cinfo, &row, 1);
  }
  jpeg_finish_decompress(&d.cinfo);
  w = static_cast<int>(d.cinfo.output_width);
  h = static_cast<int>(d.cinfo.output_height);
  return true;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, int& w, int& h, std::vector<uint8_t>& rgb24,
                std::string& error) {
  w = 0;
  h = 0;
  rgb24.clear();
  if (data == nullptr || size < 4) {
    error = "not a JPEG picture";
    return false;
  }
  Decoder d{};
  d.cinfo.err = jpeg_std_error(&d.err.pub);
  d.err.pub.error_exit = OnError;
  d.err.pub.emit_message = OnMessage;
  d.err.message[0] = '\0';
  int width = 0, height = 0;
  const bool ok = Run(d, data, size, width, height, rgb24, error);
  if (d.created) jpeg_destroy_decompress(&d.cinfo);
  if (ok) {
    w = width;
    h = height;
  } else {
    rgb24.clear();
    rgb24.shrink_to_fit();
  }
  return ok;
}

}  // namespace platform
