// The two TNC command scripts, sent over the input port.
#include <QDir>

#include "form1.h"
#include "tnc/tnc_script.h"

namespace quillon {

namespace {
void Run(Form1& form, std::string_view fileName)
{
    RunTncScript(
        form.Env().programDir.toStdString(), fileName, [&form] { return form.MSComm1.PortOpen(); },
        [&form](std::string_view bytes) { return form.MSComm1.Output(bytes); },
        [&form](std::string_view line) { form.AppendStatus(line); });
}
}  // namespace

void Form1::RunTncInitScript()
{
    Run(*this, kTncInitScript);
}

void Form1::RunTncExitScript()
{
    Run(*this, kTncExitScript);
}

void Form1::Command4_Click()
{
    RunTncInitScript();
}

void Form1::Command1_Click()
{
    RunTncExitScript();
}

}  // namespace quillon
