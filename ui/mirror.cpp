// The mirror port: every block received on COM A goes out unchanged on COM B
// while the menu entry is checked; while it is, a mirror port that went away
// is opened again.
#include "form1.h"

namespace quillon {

// The labels of the mirror port; its lamps follow the port's state
// (ShowLamps), so that only one of them shows.
void Form1::ShowMirrorIndicators(bool visible)
{
    for (QWidget* w : {static_cast<QWidget*>(Label8), static_cast<QWidget*>(Label7),
                       static_cast<QWidget*>(Label10)})
        w->setVisible(visible);
    ShowLamps();
}

// At start-up, from MIRROR. A port opened here still has its initial number
// and settings; the next start-up step sets it up from the configuration.
void Form1::ApplyMirrorSwitch()
{
    MSComm2.SetReopening(IsOn(Configuration.MIRROR));
    if (IsOn(Configuration.MIRROR)) {
        MnuMirror->setChecked(true);
        ShowMirrorIndicators(true);
        if (!MSComm2.PortOpen())
            MSComm2.SetPortOpen(true);
    } else {
        ShowMirrorIndicators(false);
        if (MSComm2.PortOpen())
            MSComm2.SetPortOpen(false);
    }
}

void Form1::MnuMirror_Click()
{
    MnuMirror->setChecked(!MnuMirror->isChecked());
    const bool on = MnuMirror->isChecked();
    ShowMirrorIndicators(on);
    // A mirror port lost while mirroring was on is tried again from now on,
    // and no more once it is off.
    MSComm2.SetReopening(on);
    if (on != MSComm2.PortOpen())
        MSComm2.SetPortOpen(on);
    ShowLamps();
}

}  // namespace quillon
