// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Jpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <jpeglib.h>

#include "media/Archive.h"

namespace mv {
namespace {

// libjpeg's default error handler calls exit(); ours jumps back to the
// decode call so a broken picture only fails that picture.
struct TJpegError {
  jpeg_error_mgr Mgr;
  std::jmp_buf Jump;
  int Code = 0;
};

void OnJpegError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
  err->Code = err->Mgr.msg_code;
  std::longjmp(err->Jump, 1);
}

void OnJpegMessage(j_common_ptr, int) {}

constexpr JDIMENSION kMaxJpegPixels = 1u << 24;

// Kept free of objects with destructors between setjmp and the jumps.
bool DecodeInto(const uint8_t* data, size_t size, TImage& out, int& code, bool& too_big) {
  jpeg_decompress_struct cinfo;
  TJpegError err;
  cinfo.err = jpeg_std_error(&err.Mgr);
  err.Mgr.error_exit = OnJpegError;
  err.Mgr.emit_message = OnJpegMessage;
  if (setjmp(err.Jump)) {
    code = err.Code;
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  if (uint64_t(cinfo.image_width) * cinfo.image_height > kMaxJpegPixels) {
    too_big = true;
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out.Width = int(cinfo.output_width);
  out.Height = int(cinfo.output_height);
  out.Pixels.assign(size_t(out.Width) * out.Height, 0);
  JSAMPLE* row = static_cast<JSAMPLE*>((*cinfo.mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, size_t(out.Width) * 3));
  while (cinfo.output_scanline < cinfo.output_height) {
    int y = int(cinfo.output_scanline);
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(&cinfo, rows, 1);
    uint32_t* dst = out.Row(y);
    for (int x = 0; x < out.Width; ++x)
      dst[x] = uint32_t(row[3 * x]) << 16 | uint32_t(row[3 * x + 1]) << 8 | row[3 * x + 2];
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

struct TJpegEncodeState {
  unsigned char* Buf = nullptr;
  unsigned long Size = 0;
};

bool EncodeInto(const TImage& image, int quality, TJpegEncodeState& st, int& code) {
  jpeg_compress_struct cinfo;
  TJpegError err;
  cinfo.err = jpeg_std_error(&err.Mgr);
  err.Mgr.error_exit = OnJpegError;
  err.Mgr.emit_message = OnJpegMessage;
  if (setjmp(err.Jump)) {
    code = err.Code;
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &st.Buf, &st.Size);
  cinfo.image_width = JDIMENSION(image.Width);
  cinfo.image_height = JDIMENSION(image.Height);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  JSAMPLE* row = static_cast<JSAMPLE*>((*cinfo.mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, size_t(image.Width) * 3));
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint32_t* src = image.Row(int(cinfo.next_scanline));
    for (int x = 0; x < image.Width; ++x) {
      row[3 * x] = JSAMPLE(src[x] >> 16);
      row[3 * x + 1] = JSAMPLE(src[x] >> 8);
      row[3 * x + 2] = JSAMPLE(src[x]);
    }
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

TImage DecodeJpeg(const uint8_t* data, size_t size) {
  TImage out;
  int code = 0;
  bool too_big = false;
  if (!DecodeInto(data, size, out, code, too_big)) {
    if (too_big) throw EArchiveError("JPEG image is too large");
    throw EArchiveError("JPEG error #" + std::to_string(code));
  }
  return out;
}

std::vector<uint8_t> EncodeJpeg(const TImage& image, int quality) {
  if (image.Empty()) throw EArchiveError("Cannot encode an empty picture as JPEG");
  TJpegEncodeState st;
  int code = 0;
  bool ok = EncodeInto(image, quality, st, code);
  std::vector<uint8_t> bytes;
  if (ok) bytes.assign(st.Buf, st.Buf + st.Size);
  std::free(st.Buf);
  if (!ok) throw EArchiveError("JPEG error #" + std::to_string(code));
  return bytes;
}

}  // namespace mv
