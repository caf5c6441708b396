// Fuzzes the compass picture path as the program runs it: the metafile
// check, the render in the helper's child process (built with the same
// sanitizers, so that what the converter or the SVG renderer does with the
// input shows as a crashed child, which must cost the picture and nothing
// else), driven by an event loop as in the window, the pixels read back and
// the image drawn. Two ways in:
//  - the input bytes as a whole file;
//  - the input cut into records put between a valid header and an end
//    record, so that the converter's record handlers are reached without
//    the fuzzer first having to discover the header layout.
// Checked: no crash or leak here, a picture only from a complete metafile,
// and an image only of the size asked for.

#include <QCoreApplication>
#include <QEventLoop>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "picture/emf_records.h"
#include "picture/picture_converter.h"
#include "ui/emf_picture.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void PutU32(std::string& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

constexpr std::uint32_t kHeaderType = 1;
constexpr std::uint32_t kEndOfFileType = 14;
constexpr std::uint32_t kLastRecordType = 122;

// Records made from the input: a type byte, a length byte (in 4-byte words)
// and that many bytes of body each, between a header and an end record.
std::string AsRecords(std::string_view input) {
  std::string records;
  while (input.size() >= 2) {
    std::uint32_t type = 2 + static_cast<unsigned char>(input[0]) % (kLastRecordType - 1);
    if (type == kEndOfFileType) type = 70;  // a comment instead
    std::size_t words = static_cast<unsigned char>(input[1]);
    input.remove_prefix(2);
    words = std::min(words, input.size() / 4);
    PutU32(records, type);
    PutU32(records, static_cast<std::uint32_t>(8 + 4 * words));
    records.append(input.substr(0, 4 * words));
    input.remove_prefix(4 * words);
  }
  const std::size_t total = 88 + records.size() + 20;
  std::string emf;
  PutU32(emf, kHeaderType);
  PutU32(emf, 88);
  for (const std::uint32_t v : {0u, 0u, 999u, 999u, 0u, 0u, 9999u, 9999u}) PutU32(emf, v);  // bounds, frame
  PutU32(emf, 0x464D4520);  // " EMF"
  PutU32(emf, 0x10000);
  PutU32(emf, static_cast<std::uint32_t>(total));
  PutU32(emf, 0);          // records: not checked by the program
  PutU32(emf, 16);         // handles
  for (const std::uint32_t v : {0u, 0u, 0u, 1000u, 1000u, 200u, 200u}) PutU32(emf, v);
  emf += records;
  PutU32(emf, kEndOfFileType);
  PutU32(emf, 20);
  PutU32(emf, 0);
  PutU32(emf, 16);
  PutU32(emf, 20);
  return emf;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // The event loop that watches the child's output.
  static int qtArgc = 1;
  static char* qtArgv[] = {(*argv)[0], nullptr};
  (void)argc;
  static QCoreApplication* application = new QCoreApplication(qtArgc, qtArgv);
  (void)application;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string emf = (data[0] & 1) != 0 ? AsRecords(input) : std::string(input);

  const std::optional<quarbe::EmfPicture> picture = quarbe::EmfPicture::FromBytes(emf);
  if (!quarbe::CompleteEmfLength(emf)) Check(!picture);
  if (!picture) return 0;
  const QSize pixels(48, 40);
  QEventLoop loop;
  quarbe::PictureRender render(quarbe::RenderCommand(pixels.width(), pixels.height()), picture->Bytes(), pixels,
                               &loop, [&loop] { loop.quit(); });
  loop.exec();
  Check(!render.Running());
  const QImage& image = render.Result();
  if (image.isNull()) return 0;
  Check(image.size() == pixels && image.format() == QImage::Format_ARGB32);
  QImage frame(pixels, QImage::Format_RGB32);
  frame.fill(Qt::lightGray);
  QPainter painter(&frame);
  painter.drawImage(QPoint(0, 0), image);
  return 0;
}
