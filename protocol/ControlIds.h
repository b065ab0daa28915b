// Numeric ids of the configuration form's controls. They name a control (and the
// form value bound to it) everywhere: in the layout table, the enable rules, the
// refresh rules and the config file.
#pragma once

namespace ctl {

constexpr int StatusLine = 1095;
constexpr int ClipboardArea = 1160;  // hidden rich-text area, target of the copy shortcut

// Server registration (RVSRI)
constexpr int SriEnable = 1034, SriRead = 1014, SriSend = 1013, SriPreview = 1012;
constexpr int ReportMode = 1001;  // radio group 1001..1004, value = index
constexpr int ReportMode0 = 1001, ReportMode1 = 1002, ReportMode2 = 1003, ReportMode3 = 1004;
constexpr int SriIp = 1009, SriPort = 1011, SmsGateway = 1010;
constexpr int Apn = 1006, ApnUser = 1007, ApnPassword = 1008;

// Secondary server (RVBEI)
constexpr int BeiEnable = 1035, BeiRead = 1018, BeiSend = 1017, BeiPreview = 1016;
constexpr int BeiIp = 1022, BeiPort = 1024, PositionDelay = 1050;

// Timing report (RVTRI)
constexpr int TriEnable = 1033, TriRead = 1032, TriSend = 1031, TriPreview = 1030;
constexpr int BeginTime = 1026, EndTime = 1027, SendInterval = 1028, FixInterval = 1029;

// Geofences (RVGEO), index = fence number - 1
constexpr int GeoRead = 1059, GeoSend = 1060;
constexpr int FenceBox[4] = {1061, 1062, 1063, 1064};
constexpr int Longitude[4] = {1066, 1067, 1068, 1073};
constexpr int Latitude[4] = {1070, 1071, 1072, 1074};
constexpr int Radius[4] = {1076, 1077, 1078, 1079};
constexpr int CheckInterval[4] = {1081, 1082, 1083, 1084};
constexpr int FenceType[4] = {1086, 1087, 1088, 1089};
constexpr int FencePreview[4] = {1094, 1129, 1130, 1134};

// Real-time operation (RVRTO)
constexpr int RtoEnable = 1038, RtoOption = 1037, RtoPreview = 1040, RtoSend = 1041;

// Special functions (RVBAC)
constexpr int BacEnable = 1044, BacRead = 1047, BacSend = 1046, BacPreview = 1045;
constexpr int OverSpeedAlarm = 1136, SpeedLimited = 1137;
// The eight alarm boxes, fake power off to power low alert. The record's run
// of nine flags is these eight followed by the info report flag.
constexpr int BacAlarmFlag[8] = {1138, 1139, 1140, 1141, 1142, 1143, 1144, 1145};
constexpr int InfoReportFlag = 1146, InfoReportPeriod = 1147;
constexpr int MovDetMode = 1148, MovSpeed = 1149, MovDistance = 1150, SendNum = 1151;

// Keypad (RVKPN), index = key number (0 = SOS); -1 where the row has no such control
constexpr int KpnRead = 1093, KpnSend = 1023;
constexpr int KeyBox[5] = {1099, 1100, 1101, 1102, 1105};
constexpr int PhoneNumber[5] = {1069, 1080, 1091, 1103, 1106};
constexpr int PhoneName[5] = {1075, 1085, 1098, 1104, 1107};
constexpr int KpnEnable[5] = {-1, 1096, 1109, 1110, 1111};
constexpr int AutoAnswer[5] = {-1, 1097, 1108, -1, -1};
constexpr int KeyPreview[5] = {1021, 1039, 1042, 1048, 1049};

// White call list (RVWLT)
constexpr int WltEnable = 1052, WltRead = 1055, WltSend = 1054, WltPreview = 1053;
constexpr int CallFilter = 1152, MobileStart = 1153, MobileEnd = 1154, GglMode = 1155;
constexpr int WhiteNumber[10] = {1112, 1113, 1114, 1115, 1116, 1117, 1118, 1119, 1120, 1121};

// SIM PIN (RVPIN)
constexpr int PinEnable = 1058, PinRead = 1123, PinSend = 1122, PinPreview = 1065;
constexpr int AutoUnlock = 1156, PinCheck = 1157, Pin = 1158;

}  // namespace ctl
