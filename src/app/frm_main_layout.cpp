// The main window's design layout, in twips. The design client area is 9015 x 6105; the groups placed below it are
// part of the window but outside the part that is shown.
#include "app/frm_main.h"

namespace qm {

namespace {
constexpr int kClientWidth = 9015, kClientHeight = 6105;
}  // namespace

void frmMain::layOut() {
  setGeometry({0, 0, kClientWidth + kBorderWidth, kClientHeight + kBorderHeight});
  Check2.setValue(1);  // design value: voice on
  txtData.fixedPitch = true;
  place({
      // Left half.
      {Frame13, "", {120, 60, 2055, 540}},
      {Label18, "Frame13", {120, 240, 1815, 255}},
      {Frame12, "", {2280, 60, 2055, 540}},
      {Label17, "Frame12", {120, 240, 1815, 255}},
      {Frame14, "", {120, 660, 4215, 540}},
      {Label11, "Frame14", {120, 240, 3975, 255}},
      {Frame8, "", {120, 1260, 4215, 495}},
      {PTT1, "Frame8", {120, 150, 1275, 285}},
      {RFUser, "Frame8", {1470, 150, 1275, 285}},
      {PTT, "Frame8", {2820, 150, 1275, 285}},
      {Frame10, "", {120, 1815, 4215, 975}},
      {Frame11, "Frame10", {120, 240, 2055, 615}},
      {Label10, "Frame11", {120, 240, 1815, 315}},
      {Text1, "Frame10", {2280, 360, 1815, 315}},
      {Frame4, "", {120, 2850, 4215, 615}},
      {Counter, "Frame4", {120, 240, 975, 285}},
      {Mins, "Frame4", {1200, 225, 615, 315}},
      {Label7, "Frame4", {1920, 270, 975, 255}},
      {Frame1, "", {120, 3525, 2055, 975}},
      {TimeOutTimeSeconds, "Frame1", {120, 240, 615, 315}},
      {Label9, "Frame1", {840, 285, 855, 255}},
      {TimeOutTime, "Frame1", {120, 630, 1815, 255}},
      {Frame6, "", {2280, 3525, 2055, 975}},
      {Check2, "Frame6", {120, 360, 1815, 315}},
      {Frame5, "", {120, 4560, 4215, 855}},
      {Label15, "Frame5", {120, 240, 1095, 255}},
      {Enable_DTMF, "Frame5", {1215, 210, 735, 315}},
      {Label16, "Frame5", {120, 540, 1095, 255}},
      {Disable_DTMF, "Frame5", {1215, 510, 735, 315}},
      {Check1, "Frame5", {2160, 360, 1935, 315}},
      {Frame9, "", {120, 5475, 4215, 555}},
      {ConDisc, "Frame9", {120, 210, 3975, 285}},
      // Right half.
      {fraData, "", {4560, 60, 4335, 2535}},
      {txtData, "fraData", {120, 240, 4095, 1815}},
      {Command16, "fraData", {120, 2100, 1095, 315}},
      {Frame16, "", {4560, 2655, 4335, 975}},
      {Label13, "Frame16", {120, 240, 4095, 195}},
      {VoiceSpeed, "Frame16", {120, 450, 4095, 255}},
      {Label14, "Frame16", {120, 705, 4095, 195}},
      {Label12, "Frame16", {2040, 240, 255, 195}},
      {Label3, "", {4560, 3690, 4335, 255}},
      {Label1, "", {4560, 3945, 4335, 255}},
      {Label6, "", {4560, 4200, 4335, 255}},
      {fraIncoming, "", {4560, 3630, 4335, 840}},
      {lblIncoming, "fraIncoming", {120, 330, 2295, 255}},
      {cmdAnswer, "fraIncoming", {2520, 240, 795, 375}},
      {cmdReject, "fraIncoming", {3420, 240, 795, 375}},
      {Frame3, "", {4560, 4485, 2055, 615}},
      {Text111, "Frame3", {120, 240, 1815, 285}},
      {Command17, "", {6720, 4560, 1215, 495}},
      {Command2, "", {8010, 4560, 885, 495}},
      {Command19, "", {4560, 5160, 1395, 375}},
      {Command6, "", {6030, 5160, 1395, 375}},
      {Command8, "", {7500, 5160, 1395, 375}},
      {Command5, "", {4560, 5640, 1395, 375}},
      {Command7, "", {6030, 5640, 1395, 375}},
      {cmdExit, "", {7500, 5640, 1395, 375}},
      // Below the design client area.
      {Frame2, "", {120, 6240, 4215, 615}},
      {txtSend, "Frame2", {120, 240, 2775, 285}},
      {cmdSend, "Frame2", {3000, 210, 1095, 315}},
      {fraCommunicate, "", {4560, 6240, 4335, 975}},
      {cmdConnect, "fraCommunicate", {120, 240, 1095, 315}},
      {cmdDisconnect, "fraCommunicate", {1320, 240, 1095, 315}},
      {Label2, "fraCommunicate", {120, 630, 4095, 255}},
      {Frame7, "", {120, 6960, 4215, 615}},
      {Command3, "Frame7", {120, 240, 1095, 315}},
      {Command4, "Frame7", {1320, 240, 1095, 315}},
      {Command1, "", {4560, 7320, 1395, 375}},
      {Callsign, "", {120, 7680, 1335, 285}},
      {Prog, "", {1560, 7680, 1335, 285}},
      {Ver, "", {3000, 7680, 1335, 285}},
      {ID, "", {4560, 7800, 2055, 285}},
      {TempCallHold, "", {6720, 7800, 2055, 285}},
  });
  fraIncoming.setVisible(false);
  for (TextBox* status : {&PTT1, &RFUser, &PTT}) status->setBackColor(kButtonFace);
  for (TextBox* shown : {&PTT1, &RFUser, &PTT, &Text1, &txtData, &Text111}) shown->locked = true;
}

}  // namespace qm
