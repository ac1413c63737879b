// The courtesy window's design layout, in twips: the timings and letters on the left above the four status boxes,
// the identifier on the right above the "Save" and "Hide" buttons.
#include "courtesy/form21.h"

namespace qm {

namespace {
constexpr int kClientWidth = 7575, kClientHeight = 4095;
}  // namespace

void Form21::layOut() {
  setGeometry({300, 300, kClientWidth + kBorderWidth, kClientHeight + kBorderHeight});
  place({
      {Frame3, "", {120, 60, 3375, 2550}},
      {Check1, "Frame3", {120, 240, 2535, 255}},
      {Label1, "Frame3", {1740, 600, 735, 255}},
      {Label2, "Frame3", {120, 930, 1335, 255}},
      {CourtesyID, "Frame3", {1740, 900, 735, 315}},
      {Command10, "Frame3", {2580, 900, 675, 315}},
      {Label3, "Frame3", {120, 1320, 1335, 255}},
      {IPCourtesy, "Frame3", {1740, 1290, 735, 315}},
      {Command11, "Frame3", {2580, 1290, 675, 315}},
      {Label4, "Frame3", {120, 1710, 1575, 255}},
      {HangTime, "Frame3", {1740, 1680, 735, 315}},
      {Label5, "Frame3", {2580, 1710, 375, 255}},
      {Label6, "Frame3", {120, 2100, 1335, 255}},
      {KerchunkWait, "Frame3", {1740, 2070, 735, 315}},
      {Label7, "Frame3", {2580, 2100, 375, 255}},

      {Frame2, "", {120, 2700, 3375, 1080}},
      {Kerchunk, "Frame2", {120, 240, 1515, 285}},
      {RFUser, "Frame2", {1740, 240, 1515, 285}},
      {PTT, "Frame2", {120, 660, 1515, 285}},
      {PTT1, "Frame2", {1740, 660, 1515, 285}},

      {Frame1, "", {3600, 60, 3855, 3420}},
      {StopClock7, "Frame1", {120, 240, 1815, 255}},
      {BeaconSeconds7, "Frame1", {3000, 240, 735, 255}},
      {Label8, "Frame1", {120, 630, 3615, 255}},
      {BeaconPeriod7, "Frame1", {960, 600, 615, 315}},
      {UseLongCheck, "Frame1", {120, 1020, 1815, 255}},
      {Label9, "Frame1", {120, 1410, 3615, 255}},
      {LongID, "Frame1", {1680, 1380, 495, 315}},
      {CWCallsign, "Frame1", {120, 1800, 3615, 315}},
      {Label10, "Frame1", {120, 2190, 3615, 255}},
      {CWCallsignLong, "Frame1", {120, 2460, 3615, 315}},
      {SendCW, "Frame1", {120, 2880, 1215, 375}},

      {Command2, "", {3720, 3600, 1095, 375}},
      {Command1, "", {4920, 3600, 1095, 375}},
      {OK2Kerchunk, "", {6120, 3660, 735, 255}},
  });
  for (TextBox* status : {&Kerchunk, &RFUser, &PTT, &PTT1}) {
    status->setBackColor(kButtonFace);
    status->locked = true;  // status displays: the operator reads them, never types in them
  }
  CourtesyID.setToolTip("RF CW Ident Letter");
  IPCourtesy.setToolTip("Internet CW Ident Letter");
  HangTime.setToolTip("Hang Time Before ID in xx Milliseconds");
  KerchunkWait.setToolTip("Anti-Kerchunker time in Milliseconds");
  BeaconPeriod7.setToolTip("CW Ident Ever xx Minutes");
  SendCW.setToolTip("Send the CW Ident Callsign with PTT");
}

}  // namespace qm
