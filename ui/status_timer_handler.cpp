// Once a second: the port lamps, the UTC clock and the idle line.
#include "form1.h"
#include "timesvc/status_timer.h"

namespace quillon {

void Form1::Timer1_Timer()
{
    const LampStates lamps = StatusLamps(MSComm1.PortOpen(), MSComm2.PortOpen(), MnuMirror->isChecked());
    Image2->setVisible(lamps.image2);
    Image3->setVisible(lamps.image3);
    Image4->setVisible(lamps.image4);
    Image5->setVisible(lamps.image5);

    Label1->setText(FromCodePage(FormatClock(UtcNow(*env_.clock))));
    if (const auto line = StatusTimerTick(StatusTimer, Receive.LastFrameTime, UtcNow(*env_.clock)))
        AppendStatus(*line);
}

}  // namespace quillon
