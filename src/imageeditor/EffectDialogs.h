#pragma once
// The twenty-one effect dialogs and the Effect menu entries that open them:
// their captions, controls, ranges, defaults, labels, first runs and the
// runs they ask for.

#include <QString>

#include <vector>

class TfrmImageEditor;
class TfrmToolBase;

struct TEffectMenuEntry {
  QString Item;     // the menu item's object name, "muEffectBC"
  QString Caption;  // "&Brightness/Contrast"
  TfrmToolBase* Tool = nullptr;  // none for a hidden item
};

// The lens scale of the Fisheye dialog's level 1 … 100: 1.353 … 0.66.
long double FisheyeScale(int level);

// Creates the dialogs over the window, in Effect menu order.
std::vector<TEffectMenuEntry> CreateEffectDialogs(TfrmImageEditor& window);
