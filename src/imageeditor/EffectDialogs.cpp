#include "imageeditor/EffectDialogs.h"

#include "imageeditor/ImageEditor.h"
#include "imageeditor/ToolBase.h"

#include <cstdint>

namespace {

using TValues = TToolValues;

// A dialog of one slider labelled by prefix.
TToolSetup OneSlider(const char* name, const char* caption, const char* slider, const char* label,
                    const char* prefix, int min, int max, int def, bool firstRun,
                    std::function<void(TImageEditor&, int)> request)
{
  TToolSetup s;
  s.Name = QString::fromLatin1(name);
  s.Caption = QString::fromLatin1(caption);
  s.Sliders = {{QString::fromLatin1(slider), QString::fromLatin1(label), QString::fromLatin1(prefix), min, max, def}};
  s.FirstRun = firstRun;
  s.Request = [request](TImageEditor& w, const TValues& v) { request(w, v.Positions[0]); };
  return s;
}

// A dialog without controls: its only run starts when it is shown.
TToolSetup NoControls(const char* name, const char* caption, std::function<void(TImageEditor&)> request)
{
  TToolSetup s;
  s.Name = QString::fromLatin1(name);
  s.Caption = QString::fromLatin1(caption);
  s.FirstRun = true;
  s.Request = [request](TImageEditor& w, const TValues&) { request(w); };
  return s;
}

// Mosaic and 3DGrid: block width and height.
TToolSetup Blocks(const char* name, const char* caption, std::function<void(TImageEditor&, int, int)> request)
{
  TToolSetup s;
  s.Name = QString::fromLatin1(name);
  s.Caption = QString::fromLatin1(caption);
  s.Sliders = {{QStringLiteral("sbBlockWidth"), QStringLiteral("lblBlockWidth"), QStringLiteral("Block width "), 1, 32, 5},
               {QStringLiteral("sbBlockHeight"), QStringLiteral("lblBlockHeight"), QStringLiteral("Block height "), 1,
                32, 5}};
  s.FirstRun = true;
  s.Request = [request](TImageEditor& w, const TValues& v) { request(w, v.Positions[0], v.Positions[1]); };
  return s;
}

}  // namespace

long double FisheyeScale(int level)
{
  return (100 - level) * 0.007L + 0.66L;
}

std::vector<TEffectMenuEntry> CreateEffectDialogs(TfrmImageEditor& window)
{
  auto* brightness = [&] {
    TToolSetup s;
    s.Name = QStringLiteral("frmToolBrightness");
    s.Caption = QStringLiteral("Brightness/Contrast");
    s.Sliders = {{QStringLiteral("sbBrightness"), QStringLiteral("lblBrightness"), QStringLiteral("Brightness "), -100,
                  100, 0},
                 {QStringLiteral("sbContrast"), QStringLiteral("lblContrast"), QStringLiteral("Contrast "), -100, 100, 0}};
    s.Request = [](TImageEditor& w, const TValues& v) {
      w.RunBrightnessContrast(v.Positions[0], v.Positions[1], uint8_t(v.Choice));
    };
    return new TfrmToolBrightness(window, s);
  }();

  auto* color = [&] {
    TToolSetup s;
    s.Name = QStringLiteral("frmToolColor");
    s.Caption = QStringLiteral("Color/Negative");
    s.Sliders = {{QStringLiteral("sbRed"), QStringLiteral("lblRed"), QStringLiteral("Red "), -100, 100, 0},
                 {QStringLiteral("sbGreen"), QStringLiteral("lblGreen"), QStringLiteral("Green "), -100, 100, 0},
                 {QStringLiteral("sbBlue"), QStringLiteral("lblBlue"), QStringLiteral("Blue "), -100, 100, 0}};
    s.CheckName = QStringLiteral("cboxNegative");
    s.CheckText = QStringLiteral("Negative");
    s.Request = [](TImageEditor& w, const TValues& v) {
      w.RunColorNegative(v.Positions[0], v.Positions[1], v.Positions[2], v.Checked);
    };
    return new TfrmToolBase(window, s);
  }();

  auto* addNoise = [&] {
    TToolSetup s = OneSlider("frmToolAddNoise", "Add Noise", "sbLevel", "lblLevel", "Level ", 1, 800, 80, true, nullptr);
    s.CheckName = QStringLiteral("cboxColor");
    s.CheckText = QStringLiteral("Color");
    s.CheckDefault = true;
    s.Request = [](TImageEditor& w, const TValues& v) { w.RunAddNoise(v.Positions[0], v.Checked); };
    return new TfrmToolBase(window, s);
  }();

  auto direction = [&](const char* name, const char* caption, const char* slider, const char* label,
                       const char* prefix, int max, std::function<void(TImageEditor&, uint8_t, uint8_t)> request) {
    TToolSetup s = OneSlider(name, caption, slider, label, prefix, 1, max, 1, true, nullptr);
    s.Request = [request](TImageEditor& w, const TValues& v) {
      request(w, uint8_t(v.Positions[0]), uint8_t(v.Choice));
    };
    return new TfrmToolDirection(window, s);
  };

  auto level = [&](const char* name, const char* caption, const char* title, const QStringList& items,
                   std::function<void(TImageEditor&, int)> request) {
    TToolSetup s;
    s.Name = QString::fromLatin1(name);
    s.Caption = QString::fromLatin1(caption);
    s.FirstRun = true;
    s.Request = [request](TImageEditor& w, const TValues& v) { request(w, v.Choice); };
    return new TfrmToolLevel(window, s, QString::fromLatin1(title), items);
  };

  auto tool = [&](TToolSetup s) { return new TfrmToolBase(window, std::move(s)); };
  auto blockSize = [](const char* name, const char* caption, const char* slider,
                      std::function<void(TImageEditor&, int)> request) {
    return OneSlider(name, caption, slider, "lblBlockSize", "Block size ", 3, 32, 3, true, std::move(request));
  };

  // Sharpen's items in their order and the level each asks for.
  static const uint8_t kSharpenLevels[5] = {0, 4, 1, 3, 2};

  return {
      {QStringLiteral("muEffectBC"), QStringLiteral("&Brightness/Contrast"), brightness},
      {QStringLiteral("muEffectCN"), QStringLiteral("&Color/Negative"), color},
      {QStringLiteral("muEffectSaturation"), QStringLiteral("Saturatio&n"),
       tool(OneSlider("frmToolSaturation", "Saturation", "sbLevel", "lblLevel", "Level ", -100, 100, 0, false,
                      [](TImageEditor& w, int n) { w.RunSaturation(n + 100); }))},
      {QStringLiteral("muEffectSketch"), QStringLiteral("S&ketch"),
       tool(NoControls("frmToolSketch", "Sketch", [](TImageEditor& w) { w.RunSketch(); }))},
      {QStringLiteral("muEffectCrayon"), QStringLiteral("Cra&yon"),
       tool(NoControls("frmToolCrayon", "Crayon", [](TImageEditor& w) { w.RunCrayon(); }))},
      {QStringLiteral("muEffectSolarize"), QStringLiteral("S&olari&ze"),
       tool(NoControls("frmToolSolarize", "Solarize", [](TImageEditor& w) { w.RunSolarize(); }))},
      {QStringLiteral("muEffectRotate"), QStringLiteral("&Rotate"), nullptr},
      {QStringLiteral("muEffectThreshold"), QStringLiteral("&Threshold"),
       tool(OneSlider("frmToolThreshold", "Threshold", "sbThreshold", "lblThreshold", "Threshold ", 0, 255, 128, true,
                      [](TImageEditor& w, int n) { w.RunThreshold(n); }))},
      {QStringLiteral("muEffectSmooth"), QStringLiteral("S&mooth"),
       level("frmToolSmooth", "Smooth", " Smooth Level ", {QStringLiteral("Less"), QStringLiteral("Normal"),
                                                           QStringLiteral("More")},
             [](TImageEditor& w, int item) { w.RunSmooth(uint8_t(item)); })},
      {QStringLiteral("muEffectSharpen"), QStringLiteral("&Sharpen"),
       level("frmToolSharpen", "Sharpen", " Sharpen Level ",
             {QStringLiteral("Less"), QStringLiteral("Horizontal"), QStringLiteral("Normal"),
              QStringLiteral("Vertical"), QStringLiteral("More")},
             [](TImageEditor& w, int item) { w.RunSharpen(kSharpenLevels[item]); })},
      {QStringLiteral("muEffectNoise"), QStringLiteral("&Add Noise"), addNoise},
      {QStringLiteral("muEffectMax"), QStringLiteral("Ma&ximum"),
       tool(blockSize("frmToolMax", "Maximum", "sbMaximum", [](TImageEditor& w, int n) { w.RunMaximum(n); }))},
      {QStringLiteral("muEffectMid"), QStringLiteral("Mi&ddle"),
       tool(blockSize("frmToolMid", "Middle", "sbMiddle", [](TImageEditor& w, int n) { w.RunMiddle(n); }))},
      {QStringLiteral("muEffectMin"), QStringLiteral("Minim&um"),
       tool(blockSize("frmToolMin", "Minimum", "sbMinimum", [](TImageEditor& w, int n) { w.RunMinimum(n); }))},
      {QStringLiteral("muEffectMosaic"), QStringLiteral("M&osaic"),
       tool(Blocks("frmToolMosaic", "Mosaic", [](TImageEditor& w, int bw, int bh) { w.RunMosaic(bw, bh); }))},
      {QStringLiteral("muEffect3DGrid"), QStringLiteral("3D&Grid"), [&] {
         TToolSetup s = Blocks("frmTool3DGrid", "3DGrid", [](TImageEditor& w, int bw, int bh) { w.RunGrid3D(bw, bh); });
         s.PlainButtons = true;
         return tool(s);
       }()},
      {QStringLiteral("muEffectEmboss"), QStringLiteral("&Emboss"),
       direction("frmToolEmboss", "Emboss", "sbDeep", "lblDeep", "Deep ", 15,
                 [](TImageEditor& w, uint8_t n, uint8_t d) { w.RunEmboss(n, d); })},
      {QStringLiteral("muEffectMotionBlur"), QStringLiteral("MotionBlu&r"),
       direction("frmToolMotionBlur", "MotionBlur", "sbLevel", "lblLevel", "Level ", 32,
                 [](TImageEditor& w, uint8_t n, uint8_t d) { w.RunMotionBlur(n, d); })},
      {QStringLiteral("muEffectFilmGrain"), QStringLiteral("&FilmGrain"),
       tool(OneSlider("frmToolFilmGrain", "FilmGrain", "sbLevel", "lblLevel", "Level ", 1, 100, 10, true,
                      // Film grain is uncoloured noise of half the level.
                      [](TImageEditor& w, int n) { w.RunAddNoise(n / 2, false); }))},
      {QStringLiteral("muEffectSplash"), QStringLiteral("S&plash"),
       tool(OneSlider("frmToolSplash", "Splash", "sbLevel", "lblLevel", "Level ", 1, 30, 10, true,
                      [](TImageEditor& w, int n) { w.RunSplash(n); }))},
      {QStringLiteral("muEffectFisheye"), QStringLiteral("Fis&heye"),
       tool(OneSlider("frmToolFisheye", "Fisheye", "sbLevel", "lblLevel", "Level ", 1, 100, 10, true,
                      [](TImageEditor& w, int n) { w.RunFisheye(FisheyeScale(n)); }))},
      {QStringLiteral("muEffectTwist"), QStringLiteral("T&wist"),
       tool(OneSlider("frmToolTwist", "Twist", "sbLevel", "lblLevel", "Level ", 1, 100, 10, true,
                      [](TImageEditor& w, int n) { w.RunTwist(n); }))},
  };
}
