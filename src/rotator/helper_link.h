#pragma once
// The link to a rotator whose Hamlib backend runs in the helper program, a
// child process of its own (see rotator_link.h for what it promises).

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

#include "rotator/helper_protocol.h"
#include "rotator/rotator_link.h"

namespace quarbe {

// The processor time a process has used so far, from /proc; nothing once it
// is gone.
std::optional<std::chrono::milliseconds> ProcessorTime(pid_t pid);

class HelperLink final : public RotatorLink {
 public:
  HelperLink(HamlibAddress address, std::string helperPath, HelperEventSink events);
  ~HelperLink() override;  // Close()

  std::variant<HamlibRotatorInfo, HamlibFailure> Open() override;
  std::optional<HamlibFailure> SetAzimuth(double azimuthDeg) override;
  std::variant<double, HamlibFailure> Azimuth() override;
  bool IsOpen() const override { return open_; }
  // Closes the helper's input, so that it closes the rotator and ends; one
  // that has not ended shortly after is killed. Returns within about a second.
  void Close() override;

 private:
  // Sends a request and waits for the reply, or a failure of `stage` when
  // the helper broke (it has then been ended).
  std::variant<HelperReply, HamlibFailure> Exchange(const HelperRequest& request, HamlibFailure::Stage stage);
  std::variant<HelperReply, HamlibFailure> Await(HamlibFailure::Stage stage);
  // Ends the helper (killed with its group, reaped) and says why.
  HamlibFailure End(HamlibFailure::Stage stage, HamlibFailure::Problem problem, int errorNumber = 0);
  // The helper closed its side: reaped, and the failure it amounts to.
  HamlibFailure Died(HamlibFailure::Stage stage);
  HamlibFailure Failure(HamlibFailure::Stage stage, HamlibFailure::Problem problem, int errorNumber = 0) const;
  HamlibFailure FailureOf(const HelperFailed& failed) const;
  void Release();  // the socket closed, the process forgotten

  HamlibAddress address_;
  std::string helperPath_;
  HelperEventSink events_;
  pid_t pid_ = -1;
  int socket_ = -1;
  bool open_ = false;
  std::string pending_;  // bytes read past the last line
  // The helper's processor time after its last answer: what it used since
  // then while waiting for a request tells a spin apart from a slow answer.
  std::chrono::milliseconds processorAfterAnswer_{0};
};

}  // namespace quarbe
