// Hugin's own client end to end: hugin_executor runs the shipped output sequence (nona,
// then quiltmerge) on a small project made here, and the panorama must be the one
// quiltmerge makes from nona's layers on Hugin's canvas.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "io/io_test_files.h"
#include "io/load_image.h"
#include "io/tiff_position_load.h"
#include "support/run_binary.h"
#include "support/storage_override.h"
#include "support/test_images.h"

using namespace test_images;

namespace {
constexpr double degree = 3.14159265358979323846 / 180;

bool on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "");
  for (std::string folder; std::getline(folders, folder, ':');)
    if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

// The scene all around the camera, smooth so that remapping and blending change it little,
// varied so that a misplaced pixel shows: channel values by longitude and latitude.
double scene(double lon, double lat, int channel) {
  switch (channel) {
    case 0:
      return 128 + 100 * std::sin(3 * lon * degree);
    case 1:
      return 128 + 100 * std::cos(4 * lat * degree);
    default:
      return 128 + 90 * std::sin((2 * lon + 3 * lat) * degree);
  }
}

struct shot {
  int width, height;
  double hfov, yaw;  // degrees; pitch and roll are 0
};

// A rectilinear photograph of the scene, as the camera at this yaw would take it.
void write_shot(const std::string& path, const shot& s) {
  const double f = s.width / 2.0 / std::tan(s.hfov / 2 * degree);
  std::vector<uint16_t> samples;
  for (int y = 0; y < s.height; ++y)
    for (int x = 0; x < s.width; ++x) {
      const double dx = x + 0.5 - s.width / 2.0, dy = y + 0.5 - s.height / 2.0;
      const double lon = s.yaw + std::atan2(dx, f) / degree, lat = -std::atan2(dy, std::hypot(dx, f)) / degree;
      for (int c = 0; c < 3; ++c) samples.push_back(static_cast<uint16_t>(std::lround(scene(lon, lat, c))));
    }
  io_test::tiff_layout layout;
  layout.width = static_cast<uint32_t>(s.width);
  layout.height = static_cast<uint32_t>(s.height);
  io_test::write_test_tiff(path, layout, samples);
}

struct project {
  int width, height, fov;  // the equirectangular canvas
  irect crop;              // Hugin's crop: the canvas it hands the blender
  std::vector<shot> shots;

  std::string size() const {
    std::string text = std::to_string(crop.width()) + "x" + std::to_string(crop.height());
    if (crop.left != 0 || crop.top != 0) text += "+" + std::to_string(crop.left) + "+" + std::to_string(crop.top);
    return text;
  }
};

// A .pto with the shots' true parameters: no control points are needed to stitch them.
void write_project(const std::string& folder, const project& p) {
  std::ostringstream pto;
  pto << "# hugin project file\n#hugin_ptoversion 2\n";
  pto << "p f2 w" << p.width << " h" << p.height << " v" << p.fov << " E0 R0";
  if (p.crop != irect{0, 0, p.width - 1, p.height - 1})
    pto << " S" << p.crop.left << "," << p.crop.right + 1 << "," << p.crop.top << "," << p.crop.bottom + 1;
  pto << " n\"TIFF_m c:LZW r:CROP\"\nm i0\n";
  for (size_t i = 0; i < p.shots.size(); ++i) {
    const shot& s = p.shots[i];
    const std::string name = "shot" + std::to_string(i) + ".tif";
    write_shot(folder + "/" + name, s);
    pto << "i w" << s.width << " h" << s.height << " f0 v" << s.hfov << " Ra0 Rb0 Rc0 Rd0 Re0 Eev0 Er1 Eb1 r0 p0 y"
        << s.yaw << " TrX0 TrY0 TrZ0 Tpy0 Tpp0 j0 a0 b0 c0 d0 e0 g0 t0 Va1 Vb0 Vc0 Vd0 Vx0 Vy0 Vm5 n\"" << name
        << "\"\n";
  }
  io_test::write_content(folder + "/pano.pto", pto.str());
}

// Stitches with hugin_executor and with quiltmerge run by hand on nona's layers, and
// compares; then looks at the panorama's pixels against the scene.
void expect_hugin_stitch(const project& p, bool full_circle) {
  if (!on_path("hugin_executor") || !on_path("nona"))
    GTEST_SKIP() << "hugin_executor or nona is not on the PATH: install hugin-tools (tools/setup.sh does)";
  scoped_temp_dir dir;
  write_project(dir.path(), p);
  // Our freshly built binary first on the PATH: the executor calls plain "quiltmerge".
  const std::string bin = std::filesystem::path(QM_BINARY).parent_path().string();
  const binary_run stitch =
      run_in_folder(dir.path(), "PATH='" + bin + "':\"$PATH\" hugin_executor --stitching --prefix=pano "
                                "--user-defined-output='" QM_HUGIN_EXECUTOR "' pano.pto");
  ASSERT_EQ(stitch.status, 0) << stitch.output;
  EXPECT_EQ(stitch.output.find("Processing:"), std::string::npos) << "the executor asks for -q";

  const binary_run layers = run_in_folder(dir.path(), "nona -r ldr -m TIFF_m -o layer pano.pto");
  ASSERT_EQ(layers.status, 0) << layers.output;
  std::string names;
  for (size_t i = 0; i < p.shots.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, " layer%04zu.tif", i);
    names += name;
  }
  const binary_run direct = run_quiltmerge(dir.path(), std::string(full_circle ? "-w " : "") + "-q -f" + p.size() +
                                                           " --compression=LZW -o direct.tif" + names);
  ASSERT_EQ(direct.status, 0) << direct.output;
  ASSERT_TRUE(file_exists(dir.path() + "/pano.tif")) << stitch.output;
  EXPECT_EQ(read_file(dir.path() + "/pano.tif"), read_file(dir.path() + "/direct.tif"));

  const dib_ptr pano(load_image(dir.path() + "/pano.tif", nullptr));
  ASSERT_EQ(pano->width(), p.crop.width());
  ASSERT_EQ(pano->height(), p.crop.height());
  const std::optional<tiff_position> corner = tiff_position_load(dir.path() + "/pano.tif");
  ASSERT_TRUE(corner);
  EXPECT_EQ(corner->x, p.crop.left);
  EXPECT_EQ(corner->y, p.crop.top);
  EXPECT_EQ(corner->full_width, p.width);

  // Every opaque pixel of a coarse grid shows the scene where Hugin's canvas puts it.
  const double per_pixel = static_cast<double>(p.fov) / p.width;
  int opaque = 0;
  for (int v = 1; v < pano->height(); v += 9)
    for (int u = 0; u < pano->width(); u += 9) {
      const rgba8 got = get_pixel(pano.get(), u, v);
      if (got.a == 0) continue;
      ASSERT_EQ(got.a, 255) << u << "," << v;
      ++opaque;
      const double lon = (p.crop.left + u + 0.5 - p.width / 2.0) * per_pixel;
      const double lat = -(p.crop.top + v + 0.5 - p.height / 2.0) * per_pixel;
      const int channel[3] = {got.r, got.g, got.b};
      for (int c = 0; c < 3; ++c)
        ASSERT_NEAR(channel[c], scene(lon, lat, c), 12) << u << "," << v << " channel " << c;
    }
  EXPECT_GT(opaque, pano->width() * pano->height() / 81 / 3);
  if (full_circle) {
    // Hugin's canvas is taller than the shots reach, and the circle is closed at both ends.
    EXPECT_EQ(get_pixel(pano.get(), p.width / 2, 2).a, 0);
    EXPECT_EQ(get_pixel(pano.get(), 0, p.height / 2).a, 255);
    EXPECT_EQ(get_pixel(pano.get(), p.width - 1, p.height / 2).a, 255);
  }
}
}  // namespace

TEST(HuginExecutor, StitchesAPartialPanoramaOnHuginsCroppedCanvas) {
  const std::vector<shot> shots{{200, 150, 90, -40}, {200, 150, 90, 0}, {200, 150, 90, 40}};
  expect_hugin_stitch({800, 400, 150, irect{60, 40, 739, 359}, shots}, false);
}

TEST(HuginExecutor, StitchesAFullCircleWithTheWrapClosed) {
  const std::vector<shot> shots{{180, 120, 120, 0}, {180, 120, 120, 90}, {180, 120, 120, 180}, {180, 120, 120, -90}};
  expect_hugin_stitch({1000, 500, 360, irect{0, 0, 999, 499}, shots}, true);
}
