// Screenshots of the (virtual) display, written as PNG or BMP without outside tools.
#include <cstdint>
#include <cstring>

#include "detail.h"
#include "driver.h"

namespace pv::test {

using detail::setError;

namespace {

// ---- PNG: filtered rows, zlib stream with fixed-Huffman deflate and a small LZ77.

uint32_t crc32(const uint8_t* p, size_t n, uint32_t crc = 0) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    ready = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t adler32(const std::string& d) {
  uint32_t a = 1, b = 0;
  for (unsigned char c : d) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

class BitWriter {
 public:
  explicit BitWriter(std::string& out) : out_(out) {}
  void bits(uint32_t value, int count) {  // least significant bit first
    acc_ |= static_cast<uint64_t>(value) << n_;
    n_ += count;
    while (n_ >= 8) {
      out_ += static_cast<char>(acc_ & 0xFF);
      acc_ >>= 8;
      n_ -= 8;
    }
  }
  void huffman(uint32_t code, int len) {  // Huffman codes go most significant bit first
    uint32_t rev = 0;
    for (int i = 0; i < len; ++i) rev |= ((code >> i) & 1) << (len - 1 - i);
    bits(rev, len);
  }
  void flush() {
    if (n_ > 0) bits(0, 8 - n_);
  }

 private:
  std::string& out_;
  uint64_t acc_ = 0;
  int n_ = 0;
};

void literal(BitWriter& w, int v) {  // fixed literal/length code
  if (v < 144) w.huffman(0x30 + v, 8);
  else if (v < 256) w.huffman(0x190 + v - 144, 9);
  else if (v < 280) w.huffman(v - 256, 7);
  else w.huffman(0xC0 + v - 280, 8);
}

void match(BitWriter& w, int len, int dist) {
  static const int lenBase[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31,
                                35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const int lenExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  static const int distBase[] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129,
                                 193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097,
                                 6145, 8193, 12289, 16385, 24577};
  static const int distExtra[] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                  6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
  int li = 28;
  while (lenBase[li] > len) --li;
  literal(w, 257 + li);
  w.bits(len - lenBase[li], lenExtra[li]);
  int di = 29;
  while (distBase[di] > dist) --di;
  w.huffman(di, 5);
  w.bits(dist - distBase[di], distExtra[di]);
}

std::string deflateFixed(const std::string& in) {
  std::string out;
  BitWriter w(out);
  w.bits(1, 1);  // final block
  w.bits(1, 2);  // fixed Huffman codes
  const int kWindow = 32768, kHashSize = 1 << 16;
  std::vector<int> head(kHashSize, -1);
  const auto* d = reinterpret_cast<const uint8_t*>(in.data());
  const int n = static_cast<int>(in.size());
  auto hash = [&](int i) { return ((d[i] << 10) ^ (d[i + 1] << 5) ^ d[i + 2]) & (kHashSize - 1); };
  int i = 0;
  while (i < n) {
    int bestLen = 0, bestDist = 0;
    if (i + 3 <= n) {
      // Candidates: the previous byte (runs) and the last place with the same 3 bytes.
      int cands[2] = {i - 1, head[hash(i)]};
      for (int c : cands) {
        if (c < 0 || c >= i || i - c > kWindow) continue;
        int len = 0;
        while (len < 258 && i + len < n && d[c + len] == d[i + len]) ++len;
        if (len > bestLen) {
          bestLen = len;
          bestDist = i - c;
        }
      }
    }
    if (bestLen >= 3) {
      match(w, bestLen, bestDist);
      for (int k = 0; k < bestLen; ++k)
        if (i + k + 3 <= n) head[hash(i + k)] = i + k;
      i += bestLen;
    } else {
      literal(w, d[i]);
      if (i + 3 <= n) head[hash(i)] = i;
      ++i;
    }
  }
  literal(w, 256);
  w.flush();
  return out;
}

void put32(std::string& s, uint32_t v) {
  s += static_cast<char>(v >> 24);
  s += static_cast<char>(v >> 16);
  s += static_cast<char>(v >> 8);
  s += static_cast<char>(v);
}

void chunk(std::string& png, const char* type, const std::string& data) {
  put32(png, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png += body;
  put32(png, crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

// rgb: top-down rows of width*3 bytes, R G B.
std::string encodePng(const std::vector<uint8_t>& rgb, int width, int height) {
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
  const size_t stride = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    // Filter "Up" turns unchanged rows into zeros, which the LZ77 runs swallow.
    const uint8_t* row = &rgb[y * stride];
    if (y == 0) {
      raw += '\0';
      raw.append(reinterpret_cast<const char*>(row), stride);
    } else {
      raw += '\2';
      const uint8_t* prev = row - stride;
      for (size_t x = 0; x < stride; ++x) raw += static_cast<char>(row[x] - prev[x]);
    }
  }
  std::string z = "\x78\x01" + deflateFixed(raw);
  put32(z, adler32(raw));
  std::string ihdr;
  put32(ihdr, width);
  put32(ihdr, height);
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  chunk(png, "IHDR", ihdr);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", "");
  return png;
}

std::string encodeBmp(const std::vector<uint8_t>& rgb, int width, int height) {
  const int stride = (width * 3 + 3) & ~3;
  BITMAPFILEHEADER fh{};
  BITMAPINFOHEADER ih{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = fh.bfOffBits + stride * height;
  ih.biSize = sizeof ih;
  ih.biWidth = width;
  ih.biHeight = -height;  // top-down
  ih.biPlanes = 1;
  ih.biBitCount = 24;
  std::string out(reinterpret_cast<const char*>(&fh), sizeof fh);
  out.append(reinterpret_cast<const char*>(&ih), sizeof ih);
  for (int y = 0; y < height; ++y) {
    std::string row(stride, '\0');
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      row[x * 3] = static_cast<char>(p[2]);
      row[x * 3 + 1] = static_cast<char>(p[1]);
      row[x * 3 + 2] = static_cast<char>(p[0]);
    }
    out += row;
  }
  return out;
}

// Copies a screen rectangle into top-down RGB rows.
bool capture(const RECT& r, std::vector<uint8_t>& rgb) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) {
    setError("empty rectangle to capture");
    return false;
  }
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = dib && bits;
  if (ok) {
    HGDIOBJ old = SelectObject(mem, dib);
    ok = BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
    GdiFlush();
    SelectObject(mem, old);
    if (ok) {
      rgb.resize(static_cast<size_t>(w) * h * 3);
      const auto* px = static_cast<const uint8_t*>(bits);  // B G R x
      for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) {
        rgb[i * 3] = px[i * 4 + 2];
        rgb[i * 3 + 1] = px[i * 4 + 1];
        rgb[i * 3 + 2] = px[i * 4];
      }
    }
  }
  if (dib) DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (!ok) setError("screen capture failed");
  return ok;
}

bool saveRect(const RECT& r, const std::string& path) {
  std::vector<uint8_t> rgb;
  if (!capture(r, rgb)) return false;
  const int w = r.right - r.left, h = r.bottom - r.top;
  size_t dot = path.rfind('.');
  std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
  bool bmp = lstrcmpiA(ext.c_str(), "bmp") == 0;
  return writeFile(path, bmp ? encodeBmp(rgb, w, h) : encodePng(rgb, w, h));
}

}  // namespace

bool saveScreenshot(const std::string& path) {
  RECT r;
  r.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  r.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  r.right = r.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  r.bottom = r.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  return saveRect(r, path);
}

bool saveWindowShot(HWND hwnd, const std::string& path) {
  if (!isWindow(hwnd)) {
    setError("no window to capture");
    return false;
  }
  return saveRect(windowRect(hwnd), path);
}

COLORREF screenPixel(POINT screen) {
  HDC dc = GetDC(nullptr);
  COLORREF c = GetPixel(dc, screen.x, screen.y);
  ReleaseDC(nullptr, dc);
  return c;
}

}  // namespace pv::test
