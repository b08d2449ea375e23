// Pictures fetched from URLs (a local HTTP server the test starts, file:// paths, unreachable
// hosts) and pictures in every embedded format, read back from the saved package and by LibreOffice.
#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "fixtures/office_tools.h"
#include "fixtures/report_files.h"
#include "fixtures/required_tools.h"
#include "tabrix/error.h"
#include "template_factory.h"
#include "xlsx/xlsx_workbook.h"

namespace tabrix::xlsx {
namespace {

using testing::TempFolder;

// The media part's bytes 1..3 ("PNG" for a PNG).
std::string Signature(const std::string& package, const std::string& part) {
  return testing::ReadZipPart(package, part).substr(1, 3);
}

// python3's HTTP server over `folder` on a free local port; also names a port nobody listens on.
class LocalHttpServer {
 public:
  explicit LocalHttpServer(const std::string& folder) {
    const std::string ports = folder + "/ports.txt";
    testing::WriteTextFile(folder + "/server.py", R"PY(
import functools, http.server, os, socket, sys, threading
folder, ports = sys.argv[1], sys.argv[2]
closed = socket.socket(); closed.bind(("127.0.0.1", 0)); unused = closed.getsockname()[1]; closed.close()
handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=folder)
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
threading.Timer(300, lambda: os._exit(0)).start()  # never outlives a stuck test run
open(ports + ".tmp", "w").write("%d %d" % (server.server_address[1], unused)); os.rename(ports + ".tmp", ports)
server.serve_forever()
)PY");
    auto started = testing::RunCommand("python3 " + folder + "/server.py " + folder + " " + ports +
                                       " >/dev/null 2>&1 & echo $!");
    pid_ = std::stoi(started.output);
    for (int i = 0; i < 100 && !std::filesystem::exists(ports); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::istringstream(testing::ReadTextFile(ports)) >> port_ >> unusedPort_;
  }
  ~LocalHttpServer() {
    if (pid_ > 0) kill(pid_, SIGTERM);
  }
  std::string Url(const std::string& name) const { return "http://127.0.0.1:" + std::to_string(port_) + "/" + name; }
  std::string UnreachableUrl() const { return "http://127.0.0.1:" + std::to_string(unusedPort_) + "/dot.png"; }

 private:
  int pid_ = -1, port_ = 0, unusedPort_ = 0;
};

TEST(PictureSources, UrlsAreFetchedOverHttpAndReadAsFilePathsAndUnreachableOnesFail) {
  TempFolder folder;
  const std::string served = folder.Path() + "/served";
  std::filesystem::create_directories(served);
  testing::MakePng(served + "/dot.png", 120, 60, 144);
  testing::MakePng(folder.File("local file.png"), 40, 20);
  LocalHttpServer server(served);
  ASSERT_TRUE(server.Url("").size() > 20);

  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(test::MakeReportTemplate(folder.Path()), true);
  auto sheet = book->WorksheetByName("Summary");
  auto fetched = sheet->AddPicture(server.Url("dot.png"), false, true, 0, 0, -1, -1);
  EXPECT_DOUBLE_EQ(fetched->Width(), 60);  // 120 pixels at 144 dpi
  EXPECT_DOUBLE_EQ(fetched->Height(), 30);
  auto local = sheet->AddPicture("file://" + folder.Path() + "/local%20file.png", false, true, 0, 100, -1, -1);
  EXPECT_DOUBLE_EQ(local->Width(), 30);

  // Each failure names the picture and why; the server answers 404 for a missing one.
  const std::vector<std::pair<std::string, std::string>> failures = {
      {server.UnreachableUrl(), "cannot be fetched"},
      {server.Url("missing.png"), "404"},
      {"http://127.0.0.1:1/", "cannot be fetched"},
      {"file://" + folder.Path() + "/missing.png", "wasn't found"},
      {"ftp://127.0.0.1/dot.png", "http or https only"},
  };
  for (const auto& [address, problem] : failures) {
    const std::string& url = address;  // clang 14 cannot capture a structured binding in a lambda
    const AutomationError e = testing::CaughtError([&] { sheet->AddPicture(url, false, true, 0, 0, 10, 10); });
    EXPECT_EQ(e.Number(), 1004) << url;
    EXPECT_NE(e.Description().find(url), std::string::npos) << e.Description();
    EXPECT_NE(e.Description().find(problem), std::string::npos) << e.Description();
  }

  const std::string output = testing::Saved(book, folder.File("fetched.xlsx"));
  EXPECT_EQ(Signature(output, "xl/media/image2.png"), "PNG");
  REQUIRE_LIBREOFFICE();
  std::string ods = testing::LibreOfficeConvert(output, "ods", folder.Path());
  // The template's chart and picture, and the two new ones.
  EXPECT_EQ(testing::Matches(testing::ReadZipPart(ods, "content.xml"), "<draw:image ").size(), 4u);
}

// TIFF and WebP from PIL; EMF and WMF as the smallest files that draw a rectangle; SVG as text.
void MakeFormats(const std::string& folder) {
  testing::RunPython(R"PY(
import struct, sys
from PIL import Image
d = sys.argv[1]
Image.new("RGB", (200, 100), "blue").save(d + "/scan.tiff", dpi=(200, 200))
Image.new("RGBA", (64, 48), (255, 0, 0, 128)).save(d + "/photo.webp", lossless=True)
# EMF: header (frame 5080 x 2540 hundredths of a millimetre = 144 x 72 points), a rectangle, EOF.
rect = struct.pack("<II4i", 43, 24, 10, 10, 100, 50)
eof = struct.pack("<IIIII", 14, 20, 0, 16, 20)
header_size = 88
total = header_size + len(rect) + len(eof)
header = struct.pack("<II4i4iIIIHHIIII2i2i", 1, header_size, 0, 0, 191, 95, 0, 0, 5080, 2540,
                     0x464D4520, 0x10000, total, 3, 1, 0, 0, 0, 0, 1024, 768, 320, 240)
open(d + "/drawing.emf", "wb").write(header + rect + eof)
# WMF: placeable header (1440 units per inch, 2880 x 720 units = 144 x 36 points), a rectangle, EOF.
words = struct.unpack("<10H", struct.pack("<IH4hHI", 0x9AC6CDD7, 0, 0, 0, 2880, 720, 1440, 0))
checksum = 0
for w in words: checksum ^= w
placeable = struct.pack("<IH4hHIH", 0x9AC6CDD7, 0, 0, 0, 2880, 720, 1440, 0, checksum)
records = struct.pack("<IH4h", 7, 0x041B, 700, 2800, 20, 20) + struct.pack("<IH", 3, 0)
meta = struct.pack("<HHHIHIH", 1, 9, 0x0300, 9 + len(records) // 2, 0, 7, 0)
open(d + "/chart.wmf", "wb").write(placeable + meta + records)
open(d + "/logo.svg", "w").write('<?xml version="1.0"?>\n<svg xmlns="http://www.w3.org/2000/svg" '
    'width="160" height="80" viewBox="0 0 16 8"><rect x="1" y="1" width="14" height="6" fill="green"/></svg>')
)PY",
                     {folder});
}

TEST(PictureSources, TiffEmfWmfAndSvgAreEmbeddedAsTheyAreAndWebpAsPng) {
  TempFolder folder;
  MakeFormats(folder.Path());
  auto book = platform::CreateSpreadsheetApplication()->OpenWorkbook(test::MakeReportTemplate(folder.Path()), true);
  auto sheet = book->WorksheetByName("Summary");
  // Own sizes in points from each header.
  const std::vector<std::tuple<std::string, double, double>> pictures = {
      {"scan.tiff", 72, 36}, {"photo.webp", 48, 36}, {"drawing.emf", 144, 72}, {"chart.wmf", 144, 36}, {"logo.svg", 120, 60}};
  double top = 0;
  for (const auto& [name, width, height] : pictures) {
    auto shape = sheet->AddPicture(folder.File(name), false, true, 0, top, -1, -1);
    EXPECT_NEAR(shape->Width(), width, 0.01) << name;
    EXPECT_NEAR(shape->Height(), height, 0.01) << name;
    top += 100;
  }
  testing::WriteTextFile(folder.File("note.svg"), "<?xml version=\"1.0\"?><note>not a drawing</note>");
  const AutomationError e = testing::CaughtError([&] { sheet->AddPicture(folder.File("note.svg"), false, true, 0, 0, 1, 1); });
  EXPECT_NE(e.Description().find("is not a PNG, JPEG, GIF, BMP, TIFF, EMF, WMF, SVG or WebP picture"), std::string::npos)
      << e.Description();

  const std::string output = testing::Saved(book, folder.File("formats.xlsx"));
  // Every XML part of the package parses.
  for (const std::string& part : testing::ZipPartNames(output))
    if (part.ends_with(".xml") || part.ends_with(".rels") || part.ends_with(".svg")) {
      pugi::xml_document document;
      std::string text = testing::ReadZipPart(output, part);
      EXPECT_TRUE(document.load_buffer(text.data(), text.size())) << part;
    }
  std::string types = testing::ReadZipPart(output, "[Content_Types].xml");
  for (const char* type : {"Extension=\"tiff\" ContentType=\"image/tiff\"", "Extension=\"emf\" ContentType=\"image/x-emf\"",
                           "Extension=\"wmf\" ContentType=\"image/x-wmf\"", "Extension=\"svg\" ContentType=\"image/svg+xml\"",
                           "Extension=\"png\" ContentType=\"image/png\""})
    EXPECT_NE(types.find(type), std::string::npos) << type;
  // The SVG's blip shows the PNG rendering and names the SVG in its extension.
  const std::string drawingName = testing::Matches(testing::ReadZipPart(output, "xl/worksheets/_rels/sheet2.xml.rels"),
                                                   "Target=\"../drawings/([^\"]+)\"").at(0);
  const std::string drawing = testing::ReadZipPart(output, "xl/drawings/" + drawingName);
  const std::string drawingRels = testing::ReadZipPart(output, "xl/drawings/_rels/" + drawingName + ".rels");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(drawing, match,
                                std::regex("r:embed=\"(\\w+)\"><a:extLst><a:ext uri=\"\\{96DAC541-7B7A-43D3-8B79-37D633B846F1\\}\">"
                                           "<asvg:svgBlip [^>]*r:embed=\"(\\w+)\"")));
  auto media = [&](const std::string& id) {  // the media file a relationship of the drawing targets
    const auto found = testing::Matches(drawingRels, "Id=\"" + id + "\"[^>]*Target=\"[^\"]*/([^\"/]+)\"");
    return found.empty() ? std::string() : found[0];
  };
  const std::string png = media(match[1]), svg = media(match[2]);
  ASSERT_TRUE(png.ends_with(".png")) << png;
  ASSERT_TRUE(svg.ends_with(".svg")) << svg;
  EXPECT_EQ(Signature(output, "xl/media/" + png), "PNG");
  EXPECT_NE(testing::ReadZipPart(output, "xl/media/" + svg).find("<svg"), std::string::npos);
  // The WebP picture became a PNG: no webp part is stored.
  for (const std::string& part : testing::ZipPartNames(output)) EXPECT_FALSE(part.ends_with(".webp")) << part;

  REQUIRE_LIBREOFFICE();
  // LibreOffice reads every new picture in its own format (the SVG through its PNG rendering),
  // each as tall as its header says (36, 36, 72, 36 and 60 points).
  std::string ods = testing::LibreOfficeConvert(output, "ods", folder.Path());
  const std::string content = testing::ReadZipPart(ods, "content.xml");
  const std::string frame = "draw:name=\"Picture \\d+\"[^>]*svg:height=\"";
  const std::vector<std::string> heights = testing::Matches(content, frame + "([0-9.]+)in\"[^>]*><draw:image "),
                                 mimeTypes = testing::Matches(content, frame + "[0-9.]+in\"[^>]*><draw:image [^>]*draw:mime-type=\"([^\"]+)\"");
  EXPECT_EQ(mimeTypes, (std::vector<std::string>{"image/tiff", "image/png", "image/x-emf", "image/x-wmf", "image/png"})) << content;
  ASSERT_EQ(heights.size(), 5u);
  const double expected[] = {36, 36, 72, 36, 60};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(std::stod(heights[i]) * 72, expected[i], 0.1) << mimeTypes[i];
}

}  // namespace
}  // namespace tabrix::xlsx
