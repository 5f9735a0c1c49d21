// Operators against a faulty module: the real windows driven as a person
// would, the module's faults through its control commands, and after every
// action the checks of what may never happen. Each row runs a script of
// actions and then random ones from its seed; "--seed N [--actions K]"
// replays one random run, "--minutes M [--seed N]" runs seed after seed and
// prints the summary (scripts/campaign.sh adds the memory).
#include "line/lineprobe.h"
#include "log/logdownload.h"
#include "mainwindow/globals.h"
#include "simcontrol.h"
#include "simfixture.h"
#include "testdata.h"
#include "protocol/timing.h"
#include "upgrade/upload.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <array>
#include <cstdio>
#include <random>

namespace {

struct Tally {
    QMap<QString, int> actions, faults, ends; // ends: the transfers' end boxes by text
    int checks = 0;
};

// The folder's files by their digests; a huge one (all holes) by its size
// and time, as reading it after every action would take minutes.
QMap<QString, QByteArray> checksums(const QString &dir)
{
    QMap<QString, QByteArray> sums;
    for (const QFileInfo &info : QDir(dir).entryInfoList(QDir::Files | QDir::NoSymLinks))
        sums[info.fileName()] = info.size() > (1 << 24) ? info.lastModified().toString(Qt::ISODateWithMs).toLatin1() + ' ' + QByteArray::number(info.size())
                                                       : QCryptographicHash::hash(fileContents(info.filePath()), QCryptographicHash::Md5);
    return sums;
}

// The actions that name an upgrade window.
const QStringList windowVerbs{"close", "open", "send", "stop", "type"};

bool uploading(LineOwner owner) { return owner == LineOwner::FirmwareUpload || owner == LineOwner::DataUpload; }

// value brought into the range the module's pace is tried in for kind, half
// the time near one of the program's constants inside it, where a verdict
// would turn; -1: kind has none.
int paceValue(const QString &kind, int value)
{
    for (const Timing::Range &r : Timing::ranges) {
        if (kind != QLatin1String(r.name))
            continue;
        QVector<int> near;
        for (const Timing::Constant &c : Timing::constants)
            if (c.ms >= r.minMs && c.ms <= r.maxMs)
                near << c.ms;
        if (near.isEmpty() || value % 2)
            return r.minMs + (value >> 1) % (r.maxMs - r.minMs + 1);
        const int c = near[(value >> 1) % near.size()];
        return qMin(r.maxMs, c / 2 + (value >> 8) % (c + 1));
    }
    return -1;
}

// One run of a script (the table above perform()), then the random operator's actions.
class Campaign
{
public:
    Campaign(quint32 seed, Tally &tally) : m_seed(seed), m_tally(tally), m_random(seed), m_control(m_f.sim) {}
    QStringList run(int actions, const QStringList &script);

private:
    int random(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    QString pick(const QStringList &from) { return from[random(0, int(from.size()) - 1)]; }
    QMap<QString, QMainWindow *> shown() const; // the upgrade windows shown, by name
    QString randomAction();
    void perform(const QString &action);
    bool check(const QString &name, const QString &rest);

    quint32 m_seed;
    Tally &m_tally;
    std::mt19937 m_random;
    QTemporaryDir m_dir;
    SimFixture m_f;
    SimControl m_control;
    QElapsedTimer m_clock;
    QStringList m_failures;
    const QString m_link = m_dir.filePath("module-link");
    QString m_atBox; // "TEXT ACTION": the action for when a box of that text ("end": a transfer's end) shows
    int m_boxMark = 0;
    // What the operator chose: the file shown in a window when its upload
    // started, and every file given to a log download (those may change).
    QByteArray m_image;
    ModuleSim::Target m_target = ModuleSim::Target::Firmware;
    QSet<QString> m_logFiles;
    QMap<QMainWindow *, QString> m_chosen; // the file each upgrade window's dialog chose
    int m_cycleMs = 0;                     // the cycle's period while it runs
    int m_commandsSeen = 0;                // the module's command lines checked so far
    bool m_cancelsIgnored = false;         // the module ignores the tool's cancel
    bool m_cancelMissed = false;           // the line loses the tool's next cancel
    bool m_logCut = false;                 // a log download cut by 断开: asked for again once connected
    bool m_hangupSoon = false;             // the line goes while a cancel waits for the module's prompt
    QMainWindow *m_sender = nullptr;       // the window whose 更新 started the last upload
    QSerialPort m_holder;                  // another program on the module's device
    QStringList m_pending;                 // the rest of a scene the random operator plays
    // CAMPAIGN_PACE set: the module's pace drawn across the program's constants,
    // stray bytes and logs with '>' at line ends, judged by what the module did.
    const bool m_pace = qEnvironmentVariableIsSet("CAMPAIGN_PACE");
    bool m_plainUpload = false;            // since the upload began, nothing but the module's pace changed
    int m_receivesEnded = 0, m_receivesAtSend = 0, m_dumpsAsked = 0, m_dumpsAtRizhi = 0;
    // The invariants of every action beyond the boxes.
    void checkInvariants(const QMap<QString, QByteArray> &filesBefore);
};

void Campaign::checkInvariants(const QMap<QString, QByteArray> &filesBefore)
{
    const QMap<QString, QByteArray> after = checksums(m_dir.path());
    for (auto it = filesBefore.begin(); it != filesBefore.end(); ++it)
        if (after.contains(it.key()) && !m_logFiles.contains(it.key()) && after[it.key()] != it.value())
            m_failures << "a file the operator did not choose changed: " + it.key();
    for (const QByteArray &intrusion : m_f.sim.intrusions())
        m_failures << "bytes of the main window inside a transfer: " + QString::fromLatin1(intrusion);
    static const QSet<QByteArray> known{"MT", "VER FULL", "KEY 1", "DACINFO", "key 3", "MOD", "ast", "dac", "MOD ON",
                                        "MOD OFF", "boot", "LOADDAC", "RECV FW", "RECV DATA", "dump logtext", ""};
    const QList<ModuleSim::Command> commands = m_f.sim.commands();
    for (int i = m_commandsSeen < commands.size() ? m_commandsSeen : 0; i < commands.size(); ++i) {
        const QByteArray &line = commands[i].line;
        const bool ascii = std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
        if (!ascii || !(known.contains(line) || line.startsWith("DAC ")))
            m_failures << "a line the module does not know: " + QString::fromLatin1(line.toHex(' '));
    }
    m_commandsSeen = commands.size();
    // An upload that has ended in the tool has ended on the module too (its
    // cancel may still be on its way).
    const LineOwner owner = m_f.window->lineOwner();
    if (!uploading(owner) && m_f.sim.isOpen() && !QTest::qWaitFor([&] { return !m_f.sim.inTransfer(); }, 2500))
        m_failures << "the module left receiving after the upload ended in the tool";
    if (!serialPort->isOpen())
        m_cycleMs = 0;
    if (m_cycleMs && owner == LineOwner::None && pollTimer->isActive() && m_f.text("AUTO") == "停止"
            && (recvMode != 0 || pollTimer->interval() != m_cycleMs))
        m_failures << QStringLiteral("AUTO reads 停止, the tick does not send the cycle's query: %1").arg(m_f.state());
    m_tally.checks += 2;
}

QMap<QString, QMainWindow *> Campaign::shown() const
{
    QMap<QString, QMainWindow *> named;
    for (const char *kind : {"fw", "data"}) {
        int n = 0;
        for (QMainWindow *w : m_f.window->findChildren<QMainWindow *>(*kind == 'f' ? "sheng" : "FS"))
            if (w->isVisible())
                named[kind + QString::number(n++)] = w;
    }
    return named;
}

QString Campaign::randomAction()
{
    static const QStringList names{"connect", "line", "settings", "single", "auto", "switch", "dac", "password",
                                   "close", "open", "send", "stop", "rizhi", "wait", "tick", "fault", "quit", "type"};
    static const std::array<int, 18> weights{2, 1, 2, 4, 3, 3, 3, 3, 2, 5, 6, 2, 3, 6, 4, 7, 1, 2};
    if (!m_pending.isEmpty())
        return m_pending.takeFirst();
    // A closed link or a hung-up module is mostly brought back soon, and an
    // upgrade window opened, so that transfers get their turn.
    if (random(0, 1) && !m_f.sim.isOpen())
        return "fault reopen";
    if (random(0, 1) && !serialPort->isOpen())
        return "connect";
    // Now and then the tool is closed while the module receives an upload
    // with blocks still to come (a module that ignores cancels is taken to
    // give up by itself), after a moment for the module to take the upload's
    // command.
    const LineOwner owner = m_f.window->lineOwner();
    if (uploading(owner) && uploadBytesLeft() > 2048
            && !m_cancelsIgnored && !m_cancelMissed && random(0, 1))
        return m_f.sim.inTransfer() ? QStringLiteral("quit") : QStringLiteral("wait 50");
    // A log download is now and then cut by 断开 and asked for again as soon
    // as the line is back, while the module may still be dumping the old log.
    if (owner == LineOwner::LogDownload && !random(0, 2)) {
        m_logCut = true;
        return "connect";
    }
    const QStringList windows = shown().keys();
    // ... mostly inside a read's gathering wait while the old dump streams,
    // where an operator's click lands most of the time.
    if (m_logCut && serialPort->isOpen()) {
        m_logCut = false;
        const QString action = windows.isEmpty() || random(0, 1) ? "rizhi new" : "send " + pick(windows);
        return random(0, 3) ? QStringLiteral("in %1 %2").arg(random(20, 400)).arg(action) : action;
    }
    if (m_hangupSoon) {
        m_hangupSoon = false;
        return QStringLiteral("in %1 fault hangup").arg(random(2000, 2990));
    }
    QString name = names[std::discrete_distribution<int>(weights.begin(), weights.end())(m_random)];
    if (random(0, 1) && windows.isEmpty())
        name = "password";
    const QString w = windows.isEmpty() ? QString() : pick(windows);
    QMainWindow *window = shown().value(w);
    if (name == "line")
        return m_f.sim.isOpen() ? "fault hangup" : "fault reopen";
    if (name == "settings")
        return QStringLiteral("settings new bote %1 com link save close").arg(random(0, 7));
    if (name == "auto" || name == "dac")
        return name + ' ' + pick(name == "auto" ? QStringList{"1", "3", "0", "x"}
                                                : QStringList{"12.5", "31.6", "x", "20", "\u300012", "12\u00a0"});
    if (name == "password")
        return QStringLiteral("password %1 %2").arg(random(0, 1) ? "fw" : "data", random(0, 4) ? "QUMBELTA" : "QUMBELTB");
    if (windowVerbs.contains(name) && !window)
        return "wait 100";
    // As a person would: 取消 where the window's buttons are off (after an
    // upload), mostly a file before 更新.
    if ((name == "open" || name == "send") && !SimFixture::upgradeButton(window, 0)->isEnabled() && random(0, 3))
        name = "stop";
    if (name == "open" || (name == "send" && window->findChild<QTextEdit *>("filename")->toPlainText().isEmpty() && random(0, 3))) {
        const int size = std::array<int, 5>{0, 1, 1024, random(1, 5000), random(5000, 200 * 1024)}[size_t(random(0, 9) ? random(1, 4) : 0)];
        // Names as people and build systems make them: look-alikes of markup,
        // no-break and full-width blanks.
        return QStringLiteral("open %1 %2 %3").arg(w).arg(size).arg(pick({"plain", "plain", "rich", "nbsp", "wide", "removed"}));
    }
    if (name == "stop") {
        m_hangupSoon = m_cancelsIgnored && window == m_sender && uploading(owner) && random(0, 1);
        // The operator types the old name into the box 取消 empties, and sends.
        if (!m_hangupSoon && m_chosen.contains(window) && random(0, 1))
            m_pending = QStringList{"type " + w + ' ' + m_chosen.value(window), "send " + w};
    }
    // A path typed into a box that 取消 emptied chooses nothing either.
    if (name == "type")
        return "type " + w + ' ' + (m_chosen.isEmpty() ? QStringLiteral("/etc/hostname") : m_chosen.first());
    if (name == "close" || name == "send" || name == "stop")
        return name + ' ' + w;
    // A log in small pieces cut by 断开, and the next request made inside a
    // read's gathering wait while the old dump still streams.
    if (name == "rizhi" && serialPort->isOpen() && !random(0, 2)) {
        const bool chosen = window && !window->findChild<QTextEdit *>("filename")->toPlainText().isEmpty();
        const QString again = !chosen || random(0, 1) ? "rizhi new" : "send " + w;
        m_pending = QStringList{QStringLiteral("fault log-gap %1").arg(random(8, 19)), "rizhi new",
                                QStringLiteral("wait %1").arg(random(200, 800)), "connect", "connect",
                                QStringLiteral("in %1 %2").arg(random(20, 400)).arg(again), "wait 2500"};
        return QStringLiteral("fault log-piece %1").arg(random(1, 3));
    }
    if (name == "rizhi")
        return "rizhi " + pick({"new", "old", "cancel"});
    if (name == "wait")
        return "wait " + QString::number(random(0, 3000));
    if (name == "tick") {
        // The tool closes only once the waits on its stack have returned.
        const QString inner = randomAction();
        return inner == "quit" ? "wait 100" : "tick " + inner;
    }
    if (name == "fault") {
        QStringList kinds{"nak", "cancel-at", "silent", "prompt-pos", "garbage", "log-prompt-piece", "log-gap",
                          "log-piece", "baud", "reply-delay", "ignore-cancel", "at-end", "alarm", "miss-cancel"};
        if (m_pace)
            kinds << "prompt-delay" << "log-lines" << "stray" << "log-text";
        const QString kind = m_pace && random(0, 1) ? pick({"reply-delay", "log-lines", "prompt-delay", "stray", "log-text", "alarm"}) : pick(kinds);
        const int value = random(0, 1 << 30);
        if (kind == "stray")
            return QStringLiteral("fault stray %1 %2").arg(pick({"18", "3e", "43", "15", "00"})).arg(value % 8 + 1);
        if (kind == "log-text") { // lines ending in '>'; the prompt alone, or followed by a NUL or a TAB
            QByteArray text;
            for (int i = 0; i < value % 6 + 2; ++i)
                text += "2026-12-01 08:00:0" + QByteArray::number(i) + " channel " + QByteArray::number(i) + " <ok>\r\n";
            m_pending = QStringList(value % 3 ? "fault log-prompt off" : "fault log-prompt on");
            return "fault log-text " + (value % 3 ? text + '>' + (value % 2 ? '\t' : '\0') : text).toHex();
        }
        if (m_pace && paceValue(kind, value) >= 0)
            return QStringLiteral("fault %1 %2").arg(kind).arg(kind == "log-lines" && value % 4 == 0 ? -1 : paceValue(kind, value));
        if (kind == "alarm") // an alarm text that holds a 'C' and a '>', as upload replies do
            return value % 2 ? "fault alarm TEMP>60C" : "fault alarm 0";
        if (kind == "at-end") // the line goes, or a late prompt comes, behind an end box
            return value % 2 ? "at-box end fault hangup" : "at-box end fault garbage 0d0a3e";
        if (kind == "silent" || kind == "log-prompt-piece" || kind == "ignore-cancel")
            return "fault " + kind + (value % 2 ? " on" : " off");
        if (kind == "garbage")
            return "fault garbage " + QString::number(value, 16).rightJustified(8, QLatin1Char('0'));
        const int bounded = kind == "baud" ? std::array<int, 3>{0, 115200, 57600}[size_t(value % 3)]
                : kind == "prompt-pos" ? value % 42 - 1 : kind == "log-gap" ? value % 101
                : kind == "log-piece" ? (value % 2 ? (value >> 1) % 8 + 1 : value % 65)
                : kind == "reply-delay" ? value % 151 : kind == "miss-cancel" ? value % 2 : value % 5 + 1;
        return QStringLiteral("fault %1 %2").arg(kind).arg(bounded);
    }
    return name;
}

// The script language: one action a line, words apart. The rows' scripts and
// the random operator (randomAction) speak it alike.
//   W     an upgrade window shown now: fw0, fw1, … the firmware windows, data0, …
//         the waveform data windows, each kind counted from its oldest one still
//         shown; serial0, serial1, … the serial settings windows, counted in the
//         order opened, closed ones included.
//   MODE  recvMode by name: cycle (0, the automatic cycle's MT), firmware (2) and
//         data (3) uploads, status (4, polling), log (5), single (6, the single
//         query); any other value as its number.
//
// verb      syntax                              meaning
// --------  ----------------------------------  ----------------------------------------------
// Operator
// connect   connect                             clicks DAKAI (连接 or 断开)
// quit      quit                                closes the tool and starts it anew on the same
//                                               module, with the same saved settings
// settings  settings new|serialN F V…|save|close opens a settings window (串口设置) or takes
//                                               serialN, then fills it in turn: com PORT typed
//                                               ("link" the module's line, "-" nothing), bote
//                                               the baud rate's index, ting the stop bits,
//                                               ji_ou the parity; save (保存), close
// single    single                              clicks single (单次); ends the cycle
// switch    switch                              clicks GOorSTOP; ends the cycle
// auto      auto SECONDS                        types SECONDS into TIME, clicks AUTO
// dac       dac VALUE                           types VALUE into DAC_SET, clicks DAC_BU
// password  password fw|data TEXT               软件升级 or 波形更新, TEXT typed into the
//                                               prompt ("_" a blank); nothing while the entry
//                                               is disabled; the prompt must show dots
// open      open W SIZE [STYLE]                 打开文件 in W chooses a new file of SIZE random
//                                               bytes (over 1 MiB: holes); STYLE of its name:
//                                               plain, rich (markup), nbsp, wide (U+3000), or
//                                               removed (deleted once chosen)
// type      type W PATH                         PATH typed over W's file name box
// send      send W                              更新 in W
// stop      stop W                              取消 in W (its box emptied)
// close     close W                             closes W
// rizhi     rizhi new|old|cancel|PATH           日志下载 into a new file, one of the run's
//                                               files, the dialog cancelled, or PATH
// press     press MS                            boxes and file dialogs answered MS after
//                                               they show (0: at once)
// Module and line
// fault     fault KIND [ARG]                    the module's control command (module-sim):
//                                               nak, silent, hangup, reopen, baud, garbage
//                                               HEX, log-piece, ignore-cancel, …
// say       say TEXT                            the module sends TEXT, "_" a blank, "~" CR LF
// hold      hold                                another program opens and locks the module's
//                                               device under its own name
// timeout   timeout                             one tick of pollTimer (handleTimeout)
// error     error                               one more report that the port has gone
// Timing
// wait      wait MS                             runs events for MS
// in        in MS ACTION                        ACTION MS later, whatever runs then (dropped
//                                               when its window has closed)
// tick      tick ACTION                         ACTION inside the waits of the next poll tick
// at-box    at-box TEXT ACTION[;ACTION…]        the actions behind the next box of TEXT
//                                               ("end": a transfer's end box) while it is up;
//                                               a hangup waits for a box with the line open
// mode      mode MODE [MS]                      the state a check starts from: recvMode set,
//                                               pollTimer at MS (none: stopped), the module's
//                                               transcript cleared
// Checks (check()): each compares what is with the rest of its line
// expect    expect [BOX;BOX…]                   the boxes since the last expect, waited for:
//                                               Text, Title/Text or Title/Text/Icon (the
//                                               QMessageBox::Icon number); none: no box
// wire      wire [LINE,LINE…]                   the command lines the module got since the
//                                               last mode or wire; none: nothing
// state     state MODE MS on|off|mixed          recvMode, pollTimer's interval (-1 stopped),
//                                               the link controls
// link      link open|closed                    the tool's port
// view      view T|FW|PL|DATA|mosta|DAC|…       the status view (SimFixture::view)
// text      text NAME TEXT                      a control's shown text
// windows   windows [W…]                        the upgrade windows shown, then the settings
//                                               windows shown
// form      form serialN BAUD                   the baud rate shown in that settings window
// saved     saved PORT BAUD DATA STOP PARITY    the saved line settings; PORT "link" the
//                                               module's, "first" the machine's first port
//                                               (a new settings window's choice)
// port      port BAUD PARITY STOP FLOW          the open port's, as QSerialPort numbers
// up        up TEXT                             the text of the box up now ("none")
void Campaign::perform(const QString &action)
{
    const QStringList a = action.split(' ', Qt::SkipEmptyParts);
    const QString name = a.value(0), rest = action.section(' ', 1);
    const bool fault = name == "fault";
    ++(fault ? m_tally.faults : m_tally.actions)[fault ? a.value(1) : name];
    static const QStringList pace{"wait", "expect", "state", "up", "password", "open", "settings", "fault reply-delay", "fault prompt-delay", "fault baud",
                                  "fault log-gap", "fault log-piece", "fault log-lines", "fault log-text", "fault log-prompt", "fault alarm"};
    m_plainUpload = m_plainUpload && (pace.contains(name) || pace.contains(name + ' ' + a.value(1)));
    std::printf("seed %u  %7.2f s  %s\n", m_seed, m_clock.elapsed() / 1000.0, qPrintable(action));
    std::fflush(stdout);
    QMainWindow *w = shown().value(a.value(1));
    if (windowVerbs.contains(name) && !w) {
        m_failures << "no window " + a.value(1);
    } else if (name == "connect") {
        m_f.click("DAKAI");
    } else if (name == "quit") {
        m_f.restartWindow();
    } else if (name == "settings") {
        if (a.value(1) == "new")
            m_f.widget<QAction>("chuankou")->trigger();
        const QList<QMainWindow *> all = m_f.window->findChildren<QMainWindow *>("chuan");
        QMainWindow *settings = a.value(1) == "new" ? all.last() : all.value(a.value(1).mid(6).toInt()); // "serialN"
        for (int i = 2; settings && i < a.size(); ++i) {
            if (a[i] == "save" || a[i] == "close") {
                a[i] == "save" ? QTest::mouseClick(settings->findChild<QPushButton *>("baocun"), Qt::LeftButton) : (void)settings->close();
                continue;
            }
            auto *box = settings->findChild<QComboBox *>(a[i]);
            const QString value = a.value(++i) == "link" ? m_link : a.value(i) == "-" ? QString() : a.value(i);
            if (a[i - 1] == "bote")
                box->setCurrentIndex(qMin(value.toInt(), box->count() - 1));
            else
                a[i - 1] == "com" ? box->setEditText(value) : box->setCurrentText(value);
        }
    } else if (name == "single" || name == "switch") {
        m_f.click(name == "single" ? "single" : "GOorSTOP");
        m_cycleMs = 0; // either ends the cycle, though AUTO keeps its caption
    } else if (name == "auto" || name == "dac") {
        if (name == "auto")
            m_cycleMs = m_f.text("AUTO") != "循环" || !m_f.widget<QPushButton>("AUTO")->isEnabled() ? 0
                    : a.value(1).toInt() > 0 ? a.value(1).toInt() * 1000 : 10000;
        m_f.widget<QLineEdit>(name == "auto" ? "TIME" : "DAC_SET")->setText(a.value(1));
        m_f.click(name == "auto" ? "AUTO" : "DAC_BU");
    } else if (name == "password") {
        // A disabled menu entry cannot be chosen (trigger() would run it all the same).
        if (m_f.widget<QAction>(a.value(1) == "fw" ? "shengji" : "fs")->isEnabled()) {
            m_f.openUpgrade(a.value(1) == "fw" ? 1 : 2, a.value(2).replace('_', ' '));
            if (m_f.window->findChildren<QMainWindow *>("mima").last()->findChild<QLineEdit *>("mi")->echoMode() != QLineEdit::Password)
                m_failures << "the password shown as typed";
        }
    } else if (name == "close") {
        w->close();
    } else if (name == "open") {
        const QString style = a.value(3);
        const QString stem = style == "rich" ? "fw<b>v3-" : style == "nbsp" ? "image\u00a0" : style == "wide" ? "image\u3000" : "image-";
        const QString path = m_dir.filePath(stem + QString::number(random(0, 1 << 30)) + ".bin");
        const qint64 size = a.value(2).toLongLong();
        QByteArray data(size > (1 << 20) ? 0 : int(size), 0); // a huge file is all holes: its size is what counts
        std::generate(data.begin(), data.end(), [this] { return char(m_random()); });
        if (writeFile(path, data).isEmpty() || !QFile::resize(path, size))
            m_failures << "the driver could not write " + path;
        m_f.dialogs.filesToChoose = QStringList(path);
        QTest::mouseClick(SimFixture::upgradeButton(w, 0), Qt::LeftButton);
        m_chosen[w] = path;
        if (style == "removed")
            QFile::remove(path);
    } else if (name == "send") {
        const QByteArray shown = fileContents(m_chosen.value(w));
        const bool free = m_f.window->lineOwner() == LineOwner::None;
        m_receivesAtSend = m_receivesEnded;
        QTest::mouseClick(SimFixture::upgradeButton(w, 1), Qt::LeftButton);
        // Taken by this window's kind of upload: a log download an "in" action
        // started behind the click's box is not this click's.
        if (free && m_f.window->lineOwner() == (w->objectName() == "FS" ? LineOwner::DataUpload : LineOwner::FirmwareUpload)) {
            m_plainUpload = true;
            if (!m_chosen.contains(w))
                m_failures << "an upload started in a window with nothing chosen: " + a.value(1);
            m_sender = w;
            m_image = shown;
            m_target = w->objectName() == "FS" ? ModuleSim::Target::Data : ModuleSim::Target::Firmware;
        }
    } else if (name == "type") {
        w->findChild<QTextEdit *>("filename")->setPlainText(a.value(2));
    } else if (name == "stop") {
        QTest::mouseClick(SimFixture::upgradeButton(w, 2), Qt::LeftButton);
        m_chosen.remove(w); // the box is emptied: nothing is chosen now
    } else if (name == "rizhi") {
        const QStringList existing = QDir(m_dir.path()).entryList({"*.bin", "*.log"}, QDir::Files);
        QString path = a.value(1);
        if (path == "old" && !existing.isEmpty())
            path = m_dir.filePath(pick(existing));
        else if (path == "new" || path == "old")
            path = m_dir.filePath(QStringLiteral("log-%1.log").arg(random(0, 1 << 30)));
        if (m_f.widget<QAction>("rizhi")->isEnabled()) {
            m_f.dialogs.filesToChoose = path == "cancel" ? QStringList() : QStringList(path);
            m_logFiles << QFileInfo(path).fileName();
            m_dumpsAtRizhi = m_dumpsAsked;
            m_f.widget<QAction>("rizhi")->trigger();
        }
    } else if (name == "wait") {
        QTest::qWait(a.value(1).toInt());
    } else if (name == "tick") {
        bool done = false;
        QTimer::singleShot(pollTimer->isActive() ? pollTimer->remainingTime() + random(20, 320) : 0, [&, rest] {
            perform(rest);
            done = true;
        });
        (void)QTest::qWaitFor([&] { return done; }, 60000);
    } else if (name == "fault") {
        if (a.value(1) == "ignore-cancel")
            m_cancelsIgnored = a.value(2) == "on";
        // Closing the tool sends its cancel once: a lost one is not tried with it.
        if (a.value(1) == "miss-cancel")
            m_cancelMissed = a.value(2) != "0";
        if (a.value(1) == "garbage")
            QTest::qWait(20); // noise at a moment of its own, not racing a command on its way
        const QByteArray answer = m_control.execute(rest.toUtf8());
        std::printf("        -> %s\n", answer.left(40).constData());
    } else if (name == "say") {
        m_f.sim.send(rest.toUtf8().replace('_', ' ').replace('~', "\r\n"));
    } else if (name == "in") {
        QTimer::singleShot(a.value(1).toInt(), m_f.window, [this, rest] {
            const QString later = rest.section(' ', 1);
            if (!windowVerbs.contains(later.section(' ', 0, 0)) || shown().contains(later.section(' ', 1, 1)))
                perform(later);
        });
    } else if (name == "at-box") {
        m_atBox = rest;
    } else if (name == "timeout" || name == "error") {
        name == "timeout" ? QMetaObject::invokeMethod(m_f.window, "handleTimeout")
                          : QMetaObject::invokeMethod(m_f.window, "handleSerialError",
                                                      Q_ARG(QSerialPort::SerialPortError, QSerialPort::ResourceError));
    } else if (name == "hold") {
        m_holder.setPortName(m_f.sim.devicePath());
        if (!m_holder.open(QIODevice::ReadWrite) || !holdDevice(m_holder.handle()))
            m_failures << "the driver could not hold " + m_f.sim.devicePath();
    } else if (name == "press") {
        m_f.dialogs.pressAfterMs = a.value(1).toInt();
    } else if (name == "mode") {
        QTest::qWait(200); // the answer to the connect's "MOD" in first
        recvMode = SimFixture::mode(a.value(1));
        m_cycleMs = 0;
        a.size() > 2 ? pollTimer->start(a.value(2).toInt()) : pollTimer->stop();
        m_f.sim.clearTranscript();
    } else if (!check(name, rest)) {
        m_failures << "unknown action " + action;
    }
}

// The checks of the table above perform().
bool Campaign::check(const QString &name, const QString &rest)
{
    QString actual, expected = rest;
    if (name == "expect") {
        const QStringList want = rest.split(';', Qt::SkipEmptyParts);
        (void)QTest::qWaitFor([&] { return m_f.dialogs.boxes.size() >= m_boxMark + want.size(); }, 20000);
        QTest::qWait(50);
        QStringList got;
        for (const ModalHandler::Box &box : m_f.dialogs.boxes.mid(m_boxMark))
            got << QStringList{box.title, box.text, QString::number(box.icon)}.mid(want.value(got.size()).count('/') ? 0 : 1,
                                                                                   want.value(got.size()).count('/') + 1).join('/');
        m_boxMark = m_f.dialogs.boxes.size();
        actual = got.join(';');
    } else if (name == "wire") {
        expected = rest.isEmpty() ? QString() : QString(rest).replace(',', "\r\n") + "\r\n";
        actual = QString::fromLatin1(m_f.sim.received());
        m_f.sim.clearTranscript();
    } else if (name == "link" || name == "view" || name == "text") {
        actual = name == "view" ? m_f.view() : name == "text" ? rest.section(' ', 0, 0) + ' ' + m_f.text(qPrintable(rest.section(' ', 0, 0)))
                : serialPort->isOpen() ? "open" : "closed";
    } else if (name == "windows") {
        QStringList names = shown().keys();
        const QList<QMainWindow *> settings = m_f.window->findChildren<QMainWindow *>("chuan");
        for (int i = 0; i < settings.size(); ++i)
            if (settings[i]->isVisible())
                names << "serial" + QString::number(i);
        actual = names.join(' ');
    } else if (name == "form") {
        actual = rest.section(' ', 0, 0) + ' ' + m_f.window->findChildren<QMainWindow *>("chuan").value(rest.section(' ', 0, 0).mid(6).toInt())
                ->findChild<QComboBox *>("bote")->currentText();
    } else if (name == "saved" || name == "port") {
        const QString firstPort = QSerialPortInfo::availablePorts().value(0).portName();
        actual = name == "port" ? QStringLiteral("%1 %2 %3 %4").arg(serialPort->baudRate()).arg(serialPort->parity()).arg(serialPort->stopBits())
                          .arg(serialPort->flowControl())
                : QStringLiteral("%1 %2 %3 %4 %5").arg(portNameSetting == m_link ? "link" : portNameSetting == firstPort ? "first" : portNameSetting).arg(baudRateSetting)
                          .arg(dataBitsSetting).arg(stopBitsSetting).arg(paritySetting);
    } else if (name == "state") {
        actual = m_f.state();
    } else if (name == "up") {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        actual = box ? box->text() : "none";
    } else {
        return false;
    }
    ++m_tally.checks;
    if (actual != expected)
        m_failures << QStringLiteral("%1: \"%2\", not \"%3\"").arg(name, actual, expected);
    return true;
}

QStringList Campaign::run(int actions, const QStringList &script)
{
    m_clock.start();
    m_f.sim.setLink(m_link);
    QObject::connect(&m_f.sim, &ModuleSim::uploadEnded, [this] { ++m_receivesEnded; });
    QObject::connect(&m_f.sim, &ModuleSim::commandReceived, [this](const QByteArray &line) { m_dumpsAsked += line == "dump logtext"; });
    // A log long enough for a dump in small pieces to outlast a reconnect.
    for (int i = 0; i < 12; ++i)
        m_f.sim.logText += QByteArray("2026-12-01 08:0") + char('0' + i % 10) + ":00 channel " + QByteArray::number(i) + " ok\r\n";
    portNameSetting = m_link;
    m_f.dialogs.onShown = [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        const QString text = m_atBox.section(' ', 0, 0), actions = m_atBox.section(' ', 1);
        if (!box || (!m_f.sim.isOpen() && actions.endsWith("hangup")))
            return;
        const bool end = QStringList({"OK", "提示", "错误"}).contains(box->windowTitle()) && box->text() != "连接成功"
                && box->text() != "串口关闭成功";
        if (text == box->text() || (text == "end" && end)) {
            m_atBox.clear();
            QTimer::singleShot(0, m_f.window, [this, actions] {
                for (const QString &action : actions.split(';'))
                    perform(action);
            });
        }
    };
    m_f.dialogs.onBox = [&](const ModalHandler::Box &box) {
        std::printf("        box %s / %s\n", qPrintable(box.title), qPrintable(box.text));
        ++m_tally.checks;
        if (QStringList{"更新完成", "更新未完成", "更新失败", "停止更新", "日志下载完成", "日志下载未完成", "日志文件写入失败"}.contains(box.text))
            ++m_tally.ends[box.text];
        if (box.text == "停止更新")
            m_chosen.remove(m_sender); // the module's cancel empties that window's box too
        const ModuleSim::UploadEnd end = m_f.sim.lastUpload();
        const QByteArray padded = m_image + QByteArray((1024 - m_image.size() % 1024) % 1024, 0x1A);
        const bool stored = end.complete && end.target == m_target && m_f.sim.upload(m_target) == padded;
        const QByteArray saved = fileContents(logFilePath), dump = m_f.sim.logSent().left(m_f.sim.logDumpEnd());
        if (box.text == "更新完成" && !stored) {
            m_failures << "更新完成 without the chosen image stored as its kind";
        } else if (m_pace && m_plainUpload && stored && m_receivesEnded > m_receivesAtSend && (box.text == "更新失败" || box.text == "更新未完成")) {
            m_failures << box.text + " although the module stored the image and ended its receive as done, at its own pace only";
        } else if (m_pace && box.text == "日志下载未完成" && m_dumpsAsked > m_dumpsAtRizhi && m_f.sim.logDumpEnd() >= 0 && saved == dump
                   && QRegularExpression("(^|\n)>[\\t\\x00]*$").match(QString::fromLatin1(dump)).hasMatch()) {
            m_failures << "日志下载未完成 with the module's whole log and its prompt saved";
        } else if (box.text == "日志下载完成") {
            for (const char *answer : {"MOD: ", "AST: ", "DAC: ", "MT: ", "Firmware Vers: "})
                if (m_pace && saved.contains(answer) && !m_f.sim.logText.contains(answer))
                    m_failures << QStringLiteral("日志下载完成 with the module's answer to another command in the log: %1").arg(answer);
            // The whole dump, then at most what the module sent after it while the box came up.
            if (m_f.sim.logDumpEnd() < 0 || saved.size() < m_f.sim.logDumpEnd() || !m_f.sim.logSent().startsWith(saved))
                m_failures << QStringLiteral("日志下载完成 with a saved file unlike the log sent (%1 bytes against %2 of the dump)")
                                      .arg(saved.size()).arg(m_f.sim.logDumpEnd());
        }
    };

    if (m_f.state() != "status -1 off" || serialPort->isOpen())
        m_failures << "the window starts in " + m_f.state();
    m_f.click("DAKAI");
    m_boxMark = m_f.dialogs.boxes.size();
    for (int i = 0; i < actions && m_failures.isEmpty(); ++i) {
        const QMap<QString, QByteArray> before = checksums(m_dir.path());
        perform(i < script.size() ? script[i] : randomAction());
        if (!serialPort->isOpen()) {
            QTest::qWait(50); // the module reads what the tool wrote before it closed
            m_f.sim.toolClosedLine();
        }
        checkInvariants(before);
    }

    // The end: the module speaks again, the operator cancels what still runs
    // and closes the upgrade windows; then the tool must settle.
    for (const char *reset : {"silent off", "ignore-cancel off", "miss-cancel 0", "reply-delay 0", "nak 0", "baud 0"})
        m_control.execute(reset);
    m_atBox.clear();
    for (QMainWindow *w : shown()) {
        QTest::mouseClick(SimFixture::upgradeButton(w, 2), Qt::LeftButton);
        w->close();
    }
    const bool settled = QTest::qWaitFor([&] {
        if (QApplication::activeModalWidget() || m_f.window->lineOwner() != LineOwner::None)
            return false;
        if (serialPort->isOpen())
            return pollTimer->isActive() && (recvMode == 4 || recvMode == 0);
        return !pollTimer->isActive() && m_f.linkControlsEnabled(false) && m_f.text("DAKAI") == "连接";
    }, m_f.window->lineOwner() == LineOwner::LogDownload ? 90000 : 20000); // a log in 1-byte pieces takes its time
    ++m_tally.checks;
    if (!settled)
        m_failures << QStringLiteral("not settled 20 s after the last fault: owner %1, box %2, state %3").arg(int(m_f.window->lineOwner()))
                              .arg(QApplication::activeModalWidget() ? "up" : "none", m_f.state());
    m_f.dialogs.onBox = nullptr;
    m_f.dialogs.onShown = nullptr;
    return m_failures;
}

// A failing run, then the shortest prefix of its actions that still fails.
QStringList runAndShrink(quint32 seed, int actions, Tally &tally, const QStringList &script = {})
{
    const QStringList failures = Campaign(seed, tally).run(actions, script);
    if (failures.isEmpty())
        return failures;
    std::printf("seed %u FAILED after %d actions:\n  %s\n", seed, actions, qPrintable(failures.join("\n  ")));
    int low = 1, high = actions;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (Campaign(seed, tally).run(middle, script).isEmpty())
            low = middle + 1;
        else
            high = middle;
    }
    std::printf("seed %u: its first %d actions fail too: --seed %u --actions %d\n", seed, high, seed, high);
    return failures;
}

} // namespace

class TestCampaign : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        // A row: its seed, then its script, then random actions up to 12 in all.
        QTest::addColumn<uint>("seed");
        QTest::addColumn<QStringList>("script");
        const auto add = [](uint seed, const QString &name, const QStringList &script) { QTest::newRow(qPrintable(name)) << seed << script; };
        add(1, "random 1", {});
        add(2, "random 2", {});
        add(8, "the password, and only the right one, shown as dots", {"password fw QUMBELTB", "password fw", "password fw qumbelta",
            "password fw _QUMBELTA", "password data QUMBELTA_", "expect 错误/密码错误;密码错误;密码错误;密码错误;密码错误", "windows", "password fw QUMBELTA",
            "password data QUMBELTA", "windows data0 fw0"});
        for (const QString how : {"串口关闭成功 link closed", "串口断开连接 timeout"}) {
            const bool lost = how.startsWith("串口断开");
            add(9, "closing, behind its box: " + how, {"switch", "wait 1500", "single", "wait 600", "auto 3", "press 200", "at-box " + how,
                lost ? "fault hangup" : "connect", lost ? "expect 错误/串口断开连接" : "expect 提示/串口关闭成功", "link closed", "error", "wait 50",
                "expect", "view ||||0|12.5|ON|开启|循环", "state cycle -1 off"});
        }
        add(14, "connect: nothing on the line and no polling behind its box, then MOD and key 3", {"connect", "mode log", "press 100",
            "at-box 连接成功 wire;state log -1 on", "connect", "expect 提示/串口关闭成功;提示/连接成功", "wire MOD,key 3", "state status 2000 on", "port 115200 0 1 0",
            "text DAKAI 断开", "wait 150", "text mosta_module OFF"});
        add(15, "one read is one reply: pieces within 20 ms make one, further apart each its own", {"mode status", "say MOD:_O", "in 5 say N~",
            "in 150 say DAC:_2", "in 300 say 5~", "wait 450", "view |||||2|ON|关闭|循环"});
        add(16, "no port saved: 连接失败", {"connect", "mode single", "settings new com - save", "connect", "expect 提示/串口关闭成功;提示/连接失败/3",
            "state single -1 off", "text DAKAI 连接"});
        // 断开 repeats a cancel the line lost, once the module's answer is missing;
        // a second 断开 or the line's loss inside that wait ends the link once.
        const struct { const char *how, *first, *reopen, *boxes; } ends[] = {
            {"断开", "wait 0", "wait 0", "串口关闭成功;连接成功"},
            {"closing the tool", "quit", "wait 0", "连接成功"},
            {"断开 twice", "in 1000 connect", "wait 0", "串口关闭成功;连接成功"},
            {"断开 as the line goes", "in 1000 fault hangup", "fault reopen", "串口断开连接;连接成功"},
        };
        for (const auto &e : ends) {
            const bool quit = QByteArray(e.first) == "quit";
            add(17, e.how + QStringLiteral(" in the middle of an upload cancels it on the module; the next connect's commands are no blocks"),
                {"password fw QUMBELTA", "open fw0 3000", "fault baud 9600", quit ? "wait 0" : "fault miss-cancel 1", "send fw0", "wait 500",
                 e.first, quit ? "wait 0" : "connect", "fault baud 0", e.reopen, "connect", QStringLiteral("expect ") + e.boxes, "wait 300",
                 "text mosta_module OFF"});
        }
        add(21, "a device another program holds under another name: 连接失败", {"connect", "hold", "connect", "expect 提示/串口关闭成功;提示/连接失败", "link closed"});
        add(10, "the line lost behind 连接成功", {"connect", "press 150", "at-box 连接成功 fault hangup", "connect", "expect 串口关闭成功;串口断开连接;连接成功",
            "link closed", "state status -1 off"});
        add(11, "settings: each window saves its own, for the next connect only", {"settings new bote 2 close", "saved link 115200 8 1 0",
            "settings new save", "saved first 115200 8 1 0", "settings new", "settings new", "settings serial3 bote 1 com second",
            "settings serial2 com other bote 2 save", "saved other 9600 8 1 0", "windows serial3", "settings serial3 save",
            "saved second 57600 8 1 0", "settings new", "form serial4 115200", "connect", "settings new com link bote 1 ting 0 ji_ou 1 save",
            "saved link 57600 8 0 1", "connect", "port 57600 5 -1 0", "settings new bote 2 com /dev/null-port save", "link open", "port 57600 5 -1 0",
            "saved /dev/null-port 9600 8 1 0", "expect 串口关闭成功;连接成功"});
        add(12, "a cycle ended by a single query, then the switch and 停止", {"mode status", "auto 3", "password fw QUMBELTA", "close fw0",
            "state cycle 3000 on", "single", "timeout", "state status 3000 on", "text AUTO 停止", "switch", "state status 1000 on", "auto 3",
            "state status 2000 on", "text AUTO 循环"});
        add(19, "an upgrade window closed while the single query's answers come: they reach the versions", {"mode status", "password fw QUMBELTA",
            "in 50 close fw0", "single", "wait 700", "view 36.5|FW 2.1.0|PL 1.3|WAVE-A1|||OFF|开启|循环", "state single 2000 on"});
        add(20, "the line lost while a cancel waits for the module: its box alone, nothing written after it", {"password fw QUMBELTA",
            "open fw0 3000", "fault ignore-cancel on", "fault baud 9600", "send fw0", "wait 500", "stop fw0", "press 1500", "in 2000 fault hangup",
            "wait 3500", "expect 串口断开连接", "link closed"});
        add(13, "two quick DAC clicks, each with its own value; a single query just before a tick", {"mode status", "in 50 dac 25", "dac 20",
            "wire key 3,key 3,DAC 25,boot,DAC 20,boot", "dac \u300012", "expect 提示/数值超出范围", "wire", "mode status 2000", "wait 1880", "single",
            "wait 150", "view 36.5|FW 2.1.0|PL 1.3|WAVE-A1|||OFF|开启|循环"});
        add(3, "refused uploads write nothing", {"password fw QUMBELTA", "password data QUMBELTA", "open fw0 1500", "stop fw0", "mode single",
            "type fw0 /etc/hostname", "send fw0", "open fw0 0", "send fw0", "open fw0 2147487744", "send fw0", "open data0 1 removed", "send data0",
            "expect 未选择文件;文件为空;Error/文件过大;Error/文件读取失败", "wire", "state single -1 on"});
        add(4, "a module that ignores 取消: ended 3 s later, once, with 更新失败; a late prompt ends nothing again", {"password fw QUMBELTA",
            "password data QUMBELTA", "open fw0 0", "open data0 1500", "fault silent on", "fault miss-cancel 1", "send data0", "send fw0", "stop fw0",
            "stop data0", "wait 2700", "state data -1 off", "press 3300", "at-box end fault garbage 0d0a3e", "in 1000 up 更新失败", "wait 3700",
            "state status 2000 on", "expect 已有升级正在进行;更新失败", "wait 100", "expect", "fault silent off", "open data0 3000", "fault baud 9600",
            "send data0", "wait 500", "press 3500", "stop data0", "expect 更新失败", "wait 3700", "expect"});
        add(5, "uploads started inside a tick, each window its own file, each from block 1", {"password fw QUMBELTA", "password data QUMBELTA",
            "open fw0 5000 rich", "open data0 2000", "switch", "tick send fw0", "stop data0", "expect 更新完成", "open data0 2000 nbsp",
            "type data0 /etc/hostname", "in 100 say AST:_TEMP>60C~", "send data0", "expect 更新完成", "text mosta TEMP>60C", "tick rizhi new",
            "expect 日志下载完成", "mode firmware", "close fw0", "state status 2000 on"});
        add(6, "the line lost: mid-upload, behind the end boxes, and 取消 on the closed line", {"password fw QUMBELTA", "password data QUMBELTA",
            "open fw0 3000", "fault baud 9600", "send fw0", "wait 1500", "fault hangup", "expect 串口断开连接", "fault reopen", "fault baud 0", "connect",
            "open data0 1500 wide", "send data0", "expect 连接成功;更新完成", "at-box end fault hangup", "press 300", "stop data0", "open data0 100",
            "send data0", "expect 串口断开连接;更新完成", "stop data0", "state data -1 off", "fault reopen", "connect", "at-box end fault hangup", "rizhi new",
            "expect 连接成功;串口断开连接;日志下载完成"});
        add(7, "log downloads: refused, a file that takes nothing, then one busy while an upload is asked for", {"mode single 3000", "rizhi cancel",
            "rizhi /sys/kernel/notes", "expect 错误/日志文件无法打开", "wire", "state single 3000 on", "rizhi /dev/full", "expect 日志文件写入失败", "press 600",
            "at-box 日志下载完成 say late~>", "rizhi new", "expect 日志下载完成", "wait 400", "expect", "press 0", "password fw QUMBELTA", "open fw0 4",
            "fault silent on", "mode status 2000", "rizhi new", "send fw0", "stop fw0", "close fw0", "expect 日志下载正在进行", "state log -1 off",
            "wire dump logtext", "fault hangup", "expect 串口断开连接", "fault silent off", "fault reopen", "connect", "press 300", "in 50 fault hangup",
            "rizhi new", "expect 连接成功;错误/串口断开连接", "fault reopen", "connect", "expect 连接成功", "state status 2000 on"});
        add(18, "a line that does not go quiet: an older dump after a reconnect gets no log request and no upload", {"mode status 2000",
            "fault log-piece 1", "fault log-gap 15", "rizhi new", "wait 300", "connect", "connect", "in 150 rizhi new",
            "expect 串口关闭成功;连接成功;错误/日志下载未完成", "password fw QUMBELTA", "open fw0 1000", "in 150 send fw0", "expect 更新未完成",
            "wire dump logtext,MOD,key 3", "state status 2000 on"});
        // The module's pace past the program's constants, each judged by what the module did (CAMPAIGN_PACE=1 runs them).
        add(31, "pace: answers 900 ms late to the polls an upload follows", {"password fw QUMBELTA", "open fw0 3000", "fault reply-delay 900",
            "fault alarm TEMP>60C", "mode status 2000", "tick send fw0", "wait 4000"});
        add(32, "pace: answers 900 ms late to the polls a log download follows", {"fault reply-delay 900", "mode status 2000", "tick rizhi new",
            "expect 日志下载完成"});
        add(33, "pace: a log line by line, '>' at line ends, 400 ms apart", {"fault log-lines 400", "mode status",
            "fault log-text 706f776572206f6e203c6f6b3e0d0a73656c662074657374203c6f6b3e0d0a72656164790d0a", "rizhi new", "expect 日志下载完成"});
        add(34, "pace: a NUL behind the log's prompt", {"fault log-prompt off", "fault log-text 706f776572206f6e0d0a72656164790d0a3e00", "mode status",
            "rizhi new", "expect 日志下载完成"});
        add(35, "pace: a stray CAN at block 2", {"password fw QUMBELTA", "open fw0 5000", "fault stray 18 2", "send fw0", "wait 3000"});
        add(36, "pace: the farewell 25 ms after the final ACK", {"password data QUMBELTA", "open data0 1000", "fault prompt-delay 25", "send data0",
            "expect 更新完成"});
    }

    void runs()
    {
        QFETCH(uint, seed);
        QFETCH(QStringList, script);
        // CAMPAIGN_PART=K/N runs every N-th row from the K-th.
        static int row = 0;
        const QString part = qEnvironmentVariable("CAMPAIGN_PART", "1/1");
        if (row++ % part.section('/', 1).toInt() != part.section('/', 0, 0).toInt() - 1)
            QSKIP("in another part of the campaign");
        if (QByteArray(QTest::currentDataTag()).startsWith("pace") && !qEnvironmentVariableIsSet("CAMPAIGN_PACE"))
            QSKIP("the module's pace across the constants: CAMPAIGN_PACE=1");
        Tally tally;
        const QStringList failures = runAndShrink(seed, qMax(12, int(script.size())), tally, script);
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join("; ")));
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    auto value = [&](const char *name, int fallback) {
        const int at = args.indexOf(QLatin1String(name));
        return at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
    };
    if (!args.contains("--minutes") && !args.contains("--seed")) {
        TestCampaign test;
        return QTest::qExec(&test, argc, argv);
    }
    Tally tally;
    QElapsedTimer clock;
    clock.start();
    int runs = 0, failed = 0;
    for (quint32 seed = value("--seed", 1000); !runs || clock.elapsed() < value("--minutes", 0) * 60000; ++seed, ++runs)
        failed += !runAndShrink(seed, value("--actions", 40), tally).isEmpty();
    std::printf("\n| What | Kind | Count |\n|---|---|---|\n");
    for (const auto &group : {std::make_pair("action", tally.actions), {"fault", tally.faults}, {"end box", tally.ends}})
        for (auto it = group.second.begin(); it != group.second.end(); ++it)
            std::printf("| %s | %s | %d |\n", group.first, qPrintable(it.key()), it.value());
    std::printf("| runs of %d actions | | %d |\n| invariant checks | | %d |\n| failed runs | | %d |\n",
                value("--actions", 40), runs, tally.checks, failed);
    return failed ? 1 : 0;
}

#include "tst_campaign.moc"
