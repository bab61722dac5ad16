#include "form1.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "system_clock_setter.h"
#include "time_server_query.h"

namespace quillon {

namespace {

QFont NarrowFont()
{
    // The buttons are labelled in a narrow sans-serif face where one is
    // installed; otherwise the same face condensed.
    QFont font;
    for (const char* family : {"Liberation Sans Narrow", "Arial Narrow"}) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(family))) {
            font.setFamily(QString::fromLatin1(family));
            return font;
        }
    }
    font.setStretch(QFont::Condensed);
    return font;
}

}  // namespace

Form1::Form1(Environment environment, QWidget* parent)
    : QMainWindow(parent),
      ReceivePipeline(*environment.clock),
      MSComm1(1, environment.programDir, this),
      MSComm2(2, environment.programDir, this),
      Timer1(this),
      env_(std::move(environment))
{
    if (!env_.clockSetter) {
        ownClockSetter_ = std::make_unique<RealSystemClockSetter>();
        env_.clockSetter = ownClockSetter_.get();
    }
    BuildWindow();
    BuildMenus();

    connect(&MSComm1, &MSComm::OnComm, this, &Form1::MSComm1_OnComm);
    connect(&MSComm2, &MSComm::OnComm, this, &Form1::MSComm2_OnComm);
    connect(&Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    Timer1.setInterval(1000);
    Timer1.start();
}

Form1::~Form1() = default;

void Form1::BuildWindow()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    // Top row: decoding switch, the two ports, lamps and the UTC clock.
    auto* top = new QHBoxLayout;
    Frame1 = new QGroupBox(QStringLiteral("Mode"), central);
    auto* frame1Layout = new QVBoxLayout(Frame1);
    DecodeKissFrame = new QCheckBox(QStringLiteral("Decode KISS Frame"), Frame1);
    DecodeKissFrame->setToolTip(QStringLiteral("decode the kiss frame"));
    DecodeKissFrame->setChecked(true);
    frame1Layout->addWidget(DecodeKissFrame);
    top->addWidget(Frame1);

    auto* ports = new QGridLayout;
    Image2 = new LampWidget(QColor(0, 170, 0), central);
    Image3 = new LampWidget(QColor(210, 0, 0), central);
    Image4 = new LampWidget(QColor(0, 170, 0), central);
    Image5 = new LampWidget(QColor(210, 0, 0), central);
    Label6 = new QLabel(QStringLiteral("IN"), central);
    Label7 = new QLabel(QStringLiteral("OUT"), central);
    Label8 = new QLabel(central);
    auto* inLamps = new QHBoxLayout;
    inLamps->addWidget(Image2);
    inLamps->addWidget(Image3);
    auto* outLamps = new QHBoxLayout;
    outLamps->addWidget(Image4);
    outLamps->addWidget(Image5);
    ports->addLayout(inLamps, 0, 0);
    ports->addWidget(Label6, 0, 1);
    ports->addLayout(outLamps, 1, 0);
    ports->addWidget(Label7, 1, 1);
    ports->addWidget(Label8, 1, 2);
    ports->setColumnStretch(2, 1);
    top->addLayout(ports, 1);

    Label1 = new QLabel(QStringLiteral("sync..."), central);
    QFont clockFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    clockFont.setPointSizeF(clockFont.pointSizeF() * 1.6);
    clockFont.setBold(true);
    Label1->setFont(clockFont);
    // Room for the clock from the start, so that nothing moves at the first tick.
    Label1->setMinimumWidth(std::max(Label1->fontMetrics().horizontalAdvance(QStringLiteral("sync...")),
                                     Label1->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00"))));
    top->addWidget(Label1);
    Image1 = new QLabel(central);
    Image1->setPixmap(QIcon(QStringLiteral(":/quillon.png")).pixmap(40, 40));
    top->addWidget(Image1);
    layout->addLayout(top);

    // The console takes the space.
    Frame5 = new QGroupBox(QStringLiteral("KISS Frames"), central);
    auto* frame5Layout = new QVBoxLayout(Frame5);
    RichTextBox1 = new ConsoleArea(Frame5);
    frame5Layout->addWidget(RichTextBox1);
    layout->addWidget(Frame5, 1);
    LogFailures = new LogIndicator(central);
    layout->addWidget(LogFailures);

    // Bottom row: status box, TNC buttons and the counters.
    auto* bottom = new QHBoxLayout;
    Text1 = new StatusBox(central);
    Text1->setFixedHeight(Text1->fontMetrics().lineSpacing() * 5 + 12);
    bottom->addWidget(Text1, 1);
    auto* buttons = new QVBoxLayout;
    Command4 = new QPushButton(QStringLiteral("TNC Init"), central);
    Command1 = new QPushButton(QStringLiteral("Set TNC in CMD Mode"), central);
    Command4->setFont(NarrowFont());
    Command1->setFont(NarrowFont());
    buttons->addWidget(Command4);
    buttons->addWidget(Command1);
    bottom->addLayout(buttons);
    auto* counters = new QVBoxLayout;
    Label9 = new QLabel(central);
    Label10 = new QLabel(central);
    // The counters are empty until the first bytes come; their column has the
    // room of a long run from the start (ten-digit bytes, eight-digit frames),
    // so that the status box and the buttons do not move when they fill.
    Label9->setMinimumWidth(
        Label9->fontMetrics().horizontalAdvance(QStringLiteral("9999999999 Bytes received (99999999 Frames)")));
    counters->addWidget(Label9);
    counters->addWidget(Label10);
    counters->addStretch();
    bottom->addLayout(counters);
    layout->addLayout(bottom);

    setCentralWidget(central);
    resize(820, 640);
}

void Form1::BuildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    MnuExit = file->addAction(QStringLiteral("&Exit"), this, [this] { close(); });

    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    MnuClear = options->addAction(QStringLiteral("Clear Counter"), this, &Form1::MnuClear_Click);
    MnuMirror = options->addAction(QStringLiteral("mirror incoming data from COM A to COM B"));
    MnuMirror->setCheckable(true);
    // The handler flips the check mark itself, as a click on the entry does.
    connect(MnuMirror, &QAction::triggered, this, [this] {
        MnuMirror->setChecked(!MnuMirror->isChecked());
        MnuMirror_Click();
    });

    QMenu* info = menuBar()->addMenu(QStringLiteral("&Info"));
    MnuStatistics = info->addAction(QStringLiteral("&Statistics"), this, &Form1::MnuStatistics_Click);
    MnuAbout = info->addAction(QStringLiteral("&About"), this, &Form1::MnuAbout_Click);
}

void Form1::AppendStatus(std::string_view line)
{
    Text1->AppendLine(line);
    if (env_.echoStatus) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
}

void Form1::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

}  // namespace quillon
