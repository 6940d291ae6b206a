// Helpers shared by the window suites: drawings written for a test, the window's controls,
// and waiting for the window to be shown and active.
#pragma once

#include <QApplication>
#include <QColor>
#include <QLabel>
#include <QTest>
#include <cstdint>
#include <string>
#include <vector>

#include "LabeledEdit.h"
#include "PreviewEncoder.h"
#include "Raderaver.h"

namespace viewertest {

inline std::string GoldenPath(const std::string& name) {
  return std::string(SHEETPEEK_TEST_DATA) + "/golden/" + name;
}

// A drawing whose header reads well: a version record, `records`, then the terminator.
inline std::string Drawing(const std::string& records) {
  return "Version\t2.1\n" + records + "Fbreak\nLine\t0,0,10,10\n";
}

// A drawing with a picture of the given size; `indices` in picture order (index 8 unused).
inline std::string PictureDrawing(int width, int height, const std::vector<std::uint8_t>& indices,
                                  const std::string& more = "") {
  const std::string encoded = indices.empty() ? std::string() : sheetpeek::test::EncodePixels(indices);
  return Drawing("Elms\t5\n" + more + sheetpeek::test::ImageRecord(width, height, encoded));
}

// A picture whose colours change along both axes, using every index that has a character.
inline std::vector<std::uint8_t> Pattern(int width, int height) {
  static const std::uint8_t kUsable[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15};
  std::vector<std::uint8_t> out;
  out.reserve(static_cast<std::size_t>(width * height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) out.push_back(kUsable[(x / 3 + y * 2) % 15]);
  return out;
}

using sheetpeek::ControlId;

inline sheetpeek::TLabeledEdit* Field(const TfrmRaderAver& w, ControlId id) {
  sheetpeek::TLabeledEdit* field = w.Field(id);
  EXPECT_NE(field, nullptr) << sheetpeek::LayoutOf(id).name;
  return field;
}

inline QString FieldText(const TfrmRaderAver& w, ControlId id) {
  const auto* field = Field(w, id);
  return field ? field->text() : QStringLiteral("<missing>");
}

template <typename T>
T* Child(const TfrmRaderAver& w, ControlId id) {
  T* child = qobject_cast<T*>(w.Control(id));
  EXPECT_NE(child, nullptr) << sheetpeek::LayoutOf(id).name;
  return child;
}

// Shows the window and runs the event loop until it has been activated.
inline bool ShowActive(TfrmRaderAver& w) {
  w.show();
  return QTest::qWaitForWindowActive(&w, 2000);
}

inline QColor ButtonFace(const TfrmRaderAver& w) {
  return w.palette().color(QPalette::Button);
}

}  // namespace viewertest
