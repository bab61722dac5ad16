// Once a second: the port lamps, the UTC clock and the idle line.
#include "app/lamps.h"
#include "form1.h"
#include "timesvc/status_timer.h"

namespace quillon {

// One lamp of a port at a time, green or red; none for the mirror port while
// mirroring is off. Also run at the end of start-up and when mirroring is
// switched, so that the window never shows both lamps of a port.
void Form1::ShowLamps()
{
    const PortLamps lamps = StatusLamps(MSComm1.PortOpen(), MSComm2.PortOpen(), MnuMirror->isChecked());
    Image2->setVisible(lamps.input == Lamp::Green);
    Image3->setVisible(lamps.input == Lamp::Red);
    Image4->setVisible(lamps.mirror == Lamp::Green);
    Image5->setVisible(lamps.mirror == Lamp::Red);
}

void Form1::Timer1_Timer()
{
    ShowLamps();
    Label1->setText(FromCodePage(FormatClock(UtcNow(*env_.clock))));
    if (const auto line = StatusTimerTick(StatusTimer, ReceivePipeline.LastFrameTime(), UtcNow(*env_.clock)))
        AppendStatus(*line);
}

}  // namespace quillon
