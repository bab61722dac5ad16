// The end of a run, in this order, every step attempted.
#include "app/form1.h"

namespace quillon {

void Form1::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    Timer1.stop();

    RawLog.Close();
    DumpLog.Close();
    HexLog.Close();
    RunTncExitScript();
    if (MSComm1.PortOpen())
        MSComm1.SetPortOpen(false);
    if (MSComm2.PortOpen())
        MSComm2.SetPortOpen(false);
}

}  // namespace quillon
