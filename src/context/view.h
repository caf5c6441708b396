#pragma once
// What the operating context needs from its window. The Qt main window is one
// implementation; the tests use a fake that records texts and states.

#include <string>
#include <string_view>

namespace quarbe {

class View {
 public:
  virtual ~View() = default;

  // Edit and label texts, in UTF-8.
  virtual std::string Text(int controlId) const = 0;
  virtual void SetText(int controlId, std::string_view text) = 0;

  // Drop-down lists: the selected item index, -1 for no selection.
  virtual int Selection(int controlId) const = 0;
  virtual void SetSelection(int controlId, int index) = 0;

  virtual void SetEnabled(int controlId, bool enabled) = 0;
  virtual void SetReadOnly(int controlId, bool readOnly) = 0;

  virtual bool Checked(int controlId) const = 0;
  virtual void SetChecked(int controlId, bool checked) = 0;

  // Moves the keyboard focus to the control; with selectAll, its whole text
  // is selected (how a refused field is shown to the operator).
  virtual void Focus(int controlId, bool selectAll) = 0;

  // Redraws the control (a frame, a list after its state changed).
  virtual void Repaint(int controlId) = 0;

  // A modal message owned by the window: warning icon, OK button only.
  virtual void ShowMessage(std::string_view text, std::string_view caption) = 0;

  // Draws the compass needle for the relative azimuth: only when forced or
  // when the angle changed since the last drawing.
  virtual void DrawNeedle(int relativeAzimuthDeg, bool force) = 0;
};

}  // namespace quarbe
