#pragma once
// A window without widgets: it keeps each control's text, list selection,
// enabled, read-only and checked state, the focus, and logs the messages,
// needle drawings and repaints, so the context can be driven and checked
// headless. Hooks let a test react to a message or a focus move the way the
// real window would (for instance by committing the field that lost focus).

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "context/view.h"

namespace quarbe::testing {

class FakeView : public View {
 public:
  struct Message {
    std::string text;
    std::string caption;
  };
  struct Needle {
    int relativeAzimuthDeg;
    bool force;
  };
  struct FocusMove {
    int controlId;
    bool selectAll;
  };

  std::string Text(int controlId) const override {
    const auto it = texts.find(controlId);
    return it == texts.end() ? std::string() : it->second;
  }
  void SetText(int controlId, std::string_view text) override { texts[controlId] = std::string(text); }

  int Selection(int controlId) const override {
    const auto it = selections.find(controlId);
    return it == selections.end() ? -1 : it->second;
  }
  void SetSelection(int controlId, int index) override { selections[controlId] = index; }

  // Like a real window, disabling the focused control moves the focus away.
  void SetEnabled(int controlId, bool enabled) override {
    disabled[controlId] = !enabled;
    if (!enabled && controlId == focused) {
      focused = kNoFocus;
      if (onFocusLost) onFocusLost(controlId);
    }
  }
  void SetReadOnly(int controlId, bool readOnly) override { readOnlyStates[controlId] = readOnly; }
  bool Checked(int controlId) const override {
    const auto it = checked.find(controlId);
    return it != checked.end() && it->second;
  }
  void SetChecked(int controlId, bool isChecked) override { checked[controlId] = isChecked; }

  void Focus(int controlId, bool selectAll) override {
    const int previous = focused;
    focused = controlId;
    focusLog.push_back({controlId, selectAll});
    if (onFocusLost && previous != controlId) onFocusLost(previous);
  }

  void Repaint(int controlId) override { repaints.push_back(controlId); }

  void ShowMessage(std::string_view text, std::string_view caption) override {
    messages.push_back({std::string(text), std::string(caption)});
    if (onMessage) onMessage(messages.back());
  }

  void DrawNeedle(int relativeAzimuthDeg, bool force) override { needles.push_back({relativeAzimuthDeg, force}); }

  bool IsEnabled(int controlId) const {
    const auto it = disabled.find(controlId);
    return it == disabled.end() || !it->second;
  }
  bool IsReadOnly(int controlId) const {
    const auto it = readOnlyStates.find(controlId);
    return it != readOnlyStates.end() && it->second;
  }

  std::map<int, std::string> texts;
  std::map<int, int> selections;
  std::map<int, bool> disabled;
  std::map<int, bool> readOnlyStates;
  std::map<int, bool> checked;
  static constexpr int kNoFocus = -1;
  int focused = 1000;  // the first tab stop, the local locator
  std::vector<FocusMove> focusLog;
  std::vector<int> repaints;
  std::vector<Message> messages;
  std::vector<Needle> needles;

  // Called with the control that lost the focus.
  std::function<void(int controlId)> onFocusLost;
  std::function<void(const Message&)> onMessage;
};

}  // namespace quarbe::testing
