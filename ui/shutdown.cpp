// The end of a run, in this order, every step attempted.
#include "form1.h"

namespace quillon {

void Form1::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    // No frame is handled from here on: what arrives while the exit script
    // goes out is dropped unread, and a port that went away stays closed.
    MSComm1.StopEvents();
    MSComm2.StopEvents();
    Timer1.stop();

    // The cleanup looks at this run's logs and nothing else, and leaves those
    // another run holds.
    Logs.Close();
    // The input port is still open: the exit script returns the TNC to its
    // command mode, and nothing it answers is logged any more.
    RunTncExitScript();
    if (MSComm1.PortOpen())
        MSComm1.SetPortOpen(false);
    if (MSComm2.PortOpen())
        MSComm2.SetPortOpen(false);
}

}  // namespace quillon
