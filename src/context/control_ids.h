#pragma once
// Identifiers of the main window's and the configuration dialog's controls.
// The field table describes the main window's by these, and each widget
// carries its identifier.

namespace quarbe::ctl {

inline constexpr int kLocalLocator = 1000;
inline constexpr int kGpsCheck = 1001;
inline constexpr int kLocalLatDeg = 1002;
inline constexpr int kLocalLatMin = 1003;
inline constexpr int kLocalLatSec = 1004;
inline constexpr int kLocalLonDeg = 1005;
inline constexpr int kLocalLonMin = 1006;
inline constexpr int kLocalLonSec = 1007;
inline constexpr int kCorrLocator = 1008;
inline constexpr int kDistance = 1009;
inline constexpr int kCorrLatDeg = 1010;
inline constexpr int kCorrLatMin = 1011;
inline constexpr int kCorrLatSec = 1012;
inline constexpr int kCorrLonDeg = 1013;
inline constexpr int kCorrLonMin = 1014;
inline constexpr int kCorrLonSec = 1015;
inline constexpr int kRelativeAzimuth = 1016;
inline constexpr int kHeading = 1017;
inline constexpr int kReverseAzimuth = 1018;
inline constexpr int kCompass = 1019;
inline constexpr int kLocalLatHemisphere = 1020;
inline constexpr int kLocalLonHemisphere = 1021;
inline constexpr int kCorrLatHemisphere = 1022;
inline constexpr int kCorrLonHemisphere = 1023;
inline constexpr int kTrueAzimuth = 1024;
inline constexpr int kAboutButton = 1025;
inline constexpr int kConfigButton = 1026;

// Configuration dialog.
inline constexpr int kCfgGpsPort = 1028;
inline constexpr int kCfgRotatorPort = 1030;
inline constexpr int kCfgEndStopNorth = 1031;
inline constexpr int kCfgEndStopSouth = 1032;
inline constexpr int kCfgSenseClockwise = 1033;
inline constexpr int kCfgSenseInverse = 1034;
inline constexpr int kCfgPicturePath = 1035;
inline constexpr int kCfgEndStopOther = 1036;
inline constexpr int kCfgEndStopAngle = 1037;
inline constexpr int kCfgBrowse = 1038;

}  // namespace quarbe::ctl
