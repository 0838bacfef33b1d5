// Times the picture loaders on real files.
//   thumbnail_tool thumbs <box width> <box height> <files...>
//       LoadImageFile of every file into the box; prints the time per picture.
//   thumbnail_tool preview <repeats> <file>
//       LoadPreviewFile at full size; prints the best time of the repeats.
#include "imagelib/ImageLoader.h"

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

double Now()
{
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int Usage()
{
  std::fprintf(stderr, "usage: thumbnail_tool thumbs <bw> <bh> <files...> | preview <repeats> <file>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc < 3) return Usage();
  if (std::strcmp(argv[1], "thumbs") == 0 && argc >= 5) {
    const int bw = std::atoi(argv[2]), bh = std::atoi(argv[3]);
    const int n = argc - 4;
    int failed = 0;
    const double start = Now();
    for (int i = 0; i < n; ++i) {
      QImage dest;
      if (!LoadImageFile(QString::fromLocal8Bit(argv[4 + i]), dest, bw, bh)) ++failed;
    }
    const double total = Now() - start;
    std::printf("%d pictures, %.2f ms per picture, %d failed\n", n, total / n, failed);
    return failed ? 1 : 0;
  }
  if (std::strcmp(argv[1], "preview") == 0 && argc == 4) {
    const int repeats = std::max(1, std::atoi(argv[2]));
    const QString file = QString::fromLocal8Bit(argv[3]);
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
      QImage dest;
      int w = 0, h = 0;
      const double start = Now();
      if (!LoadPreviewFile(file, dest, nullptr, 0xFFFFFF, 470, 470, &w, &h, true)) {
        std::fprintf(stderr, "can not load %s\n", argv[3]);
        return 1;
      }
      best = std::min(best, Now() - start);
    }
    std::printf("full-size preview best of %d: %.2f ms\n", repeats, best);
    return 0;
  }
  return Usage();
}
