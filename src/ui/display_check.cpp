#include "ui/display_check.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ui/operator_texts.h"

namespace quarbe {
namespace {

bool Set(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

std::string DisplayNamed() {
  std::string named;
  for (const char* variable : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    if (!Set(variable)) continue;
    if (!named.empty()) named += ", ";
    named += variable;
    named += '=';
    named += std::getenv(variable);
  }
  return named;
}

struct HeldMessage {
  QtMsgType type;
  std::string category;
  QString text;
};

QtMessageHandler g_previousHandler = nullptr;
std::vector<HeldMessage>* g_held = nullptr;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    // Qt could not start its platform: say why in a line, not Qt's way.
    std::fprintf(stderr, "%s\n", DisplayUnavailableText(DisplayNamed()).c_str());
    std::fflush(stderr);
    std::_Exit(kExitNoDisplay);
  }
  g_held->push_back({type, context.category != nullptr ? context.category : "", text});
}

}  // namespace

std::optional<std::string> MissingDisplayMessage(int argc, char** argv) {
  if (Set("QT_QPA_PLATFORM") || Set("DISPLAY") || Set("WAYLAND_DISPLAY")) return std::nullopt;
  for (int i = 1; i < argc; ++i) {
    // Qt takes its options with one dash or two.
    if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) return std::nullopt;
  }
  return NoDisplayText();
}

PlatformStartGuard::PlatformStartGuard() {
  g_held = new std::vector<HeldMessage>;
  g_previousHandler = qInstallMessageHandler(HoldMessage);
}

PlatformStartGuard::~PlatformStartGuard() {
  qInstallMessageHandler(g_previousHandler);
  for (const HeldMessage& message : *g_held) {
    const QMessageLogContext context(nullptr, 0, nullptr, message.category.c_str());
    if (g_previousHandler != nullptr) g_previousHandler(message.type, context, message.text);
  }
  delete g_held;
  g_held = nullptr;
}

}  // namespace quarbe
