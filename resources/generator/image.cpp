#include "image.h"

#include <png.h>
#include <turbojpeg.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace imagegen {

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) throw std::runtime_error("cannot open " + path);
  std::vector<uint8_t> bytes;
  uint8_t buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) bytes.insert(bytes.end(), buf, buf + n);
  if (std::ferror(f.get())) throw std::runtime_error("cannot read " + path);
  return bytes;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  // Written under a temporary name and renamed, so an interrupted build never leaves a
  // truncated image that looks up to date.
  const std::string tmp = path + ".part";
  {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(tmp.c_str(), "wb"), &std::fclose);
    if (!f) throw std::runtime_error("cannot create " + tmp);
    if (std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size() ||
        std::fflush(f.get()) != 0)
      throw std::runtime_error("cannot write " + tmp);
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot rename to " + path);
}

namespace {

struct PngReadSource {
  const std::vector<uint8_t>* bytes;
  size_t pos;
};

void PngWarning(png_structp, png_const_charp) {}

void PngReadFn(png_structp png, png_bytep out, png_size_t n) {
  auto* src = static_cast<PngReadSource*>(png_get_io_ptr(png));
  if (src->pos + n > src->bytes->size()) png_error(png, "truncated file");
  std::memcpy(out, src->bytes->data() + src->pos, n);
  src->pos += n;
}

void PngWriteFn(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void PngFlushFn(png_structp) {}

}  // namespace

Image LoadPng(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) throw std::runtime_error(path + ": not a PNG");
  // libpng reports errors by longjmp; everything with a destructor lives outside the
  // jump's reach (declared before setjmp), and the error becomes an exception here.
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, PngWarning);
  png_infop info = png_create_info_struct(png);
  PngReadSource src{&bytes, 0};
  std::vector<uint8_t> raw;
  std::vector<png_bytep> rows;
  int w = 0, h = 0;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    throw std::runtime_error(path + ": damaged PNG");
  }
  png_set_read_fn(png, &src, PngReadFn);
  png_read_info(png, info);
  const int colorType = png_get_color_type(png, info);
  png_set_strip_16(png);
  png_set_packing(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  w = int(png_get_image_width(png, info));
  h = int(png_get_image_height(png, info));
  if (png_get_rowbytes(png, info) != size_t(w) * 4) png_error(png, "unexpected row layout");
  raw.resize(size_t(w) * h * 4);
  rows.resize(h);
  for (int y = 0; y < h; ++y) rows[y] = raw.data() + size_t(y) * w * 4;
  png_read_image(png, rows.data());
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  Image img(w, h, 4);
  for (size_t i = 0; i < raw.size(); ++i) img.px[i] = raw[i] / 255.0f;
  return img;
}

Image LoadJpeg(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  tjhandle tj = tjInitDecompress();
  int w = 0, h = 0, subsamp = 0, colorspace = 0;
  if (tjDecompressHeader3(tj, bytes.data(), bytes.size(), &w, &h, &subsamp, &colorspace) != 0) {
    tjDestroy(tj);
    throw std::runtime_error(path + ": not a JPEG");
  }
  std::vector<uint8_t> raw(size_t(w) * h * 3);
  const int rc = tjDecompress2(tj, bytes.data(), bytes.size(), raw.data(), w, 0, h, TJPF_RGB, TJFLAG_ACCURATEDCT);
  tjDestroy(tj);
  if (rc != 0) throw std::runtime_error(path + ": cannot decode JPEG");
  Image img(w, h, 3);
  for (size_t i = 0; i < raw.size(); ++i) img.px[i] = raw[i] / 255.0f;
  return img;
}

Image LoadImage(const std::string& path) {
  const std::vector<uint8_t> head = ReadFile(path);
  if (head.size() >= 8 && png_sig_cmp(head.data(), 0, 8) == 0) return LoadPng(path);
  return LoadJpeg(path);
}

std::vector<uint8_t> EncodeJpeg(const Image& img, int quality) {
  if (img.c != 1 && img.c != 3) throw std::runtime_error("JPEG needs 1 or 3 channels");
  std::vector<uint8_t> raw(img.px.size());
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = ToByte(img.px[i]);
  tjhandle tj = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int rc = tjCompress2(tj, raw.data(), img.w, 0, img.h, img.c == 1 ? TJPF_GRAY : TJPF_RGB, &out, &size,
                             img.c == 1 ? TJSAMP_GRAY : TJSAMP_420, quality, TJFLAG_ACCURATEDCT);
  std::vector<uint8_t> bytes;
  if (rc == 0) bytes.assign(out, out + size);
  tjFree(out);
  tjDestroy(tj);
  if (rc != 0) throw std::runtime_error("cannot encode JPEG");
  return bytes;
}

std::vector<uint8_t> EncodePng(const Image& img, int zlibLevel) {
  if (img.c != 4) throw std::runtime_error("PNG output needs 4 channels");
  std::vector<uint8_t> raw(img.px.size());
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = ToByte(img.px[i]);
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, PngWarning);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("cannot encode PNG");
  }
  png_set_write_fn(png, &out, PngWriteFn, PngFlushFn);
  png_set_compression_level(png, zlibLevel);
  // Paeth alone suits these smooth pictures and saves the adaptive search's time.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
  png_set_IHDR(png, info, png_uint_32(img.w), png_uint_32(img.h), 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
  png_write_info(png, info);
  for (int y = 0; y < img.h; ++y) png_write_row(png, raw.data() + size_t(y) * img.w * 4);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

void JpegInfo(const std::vector<uint8_t>& bytes, int& w, int& h, int& components) {
  tjhandle tj = tjInitDecompress();
  int subsamp = 0, colorspace = 0;
  const int rc = tjDecompressHeader3(tj, bytes.data(), bytes.size(), &w, &h, &subsamp, &colorspace);
  tjDestroy(tj);
  if (rc != 0) throw std::runtime_error("not a JPEG");
  components = colorspace == TJCS_GRAY ? 1 : colorspace == TJCS_CMYK || colorspace == TJCS_YCCK ? 4 : 3;
}

}  // namespace imagegen
