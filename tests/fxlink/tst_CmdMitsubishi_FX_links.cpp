// Frame level of the computer link: request bytes, answer judges and answer
// checks, without a link.
#include "CmdMitsubishi_FX_links.h"

#include <QRandomGenerator>
#include <QtTest>

using Cmd = CmdMitsubishi_FX_links;

namespace {

// Sum check characters computed here independently of the plug-in.
QByteArray sumChars(const QByteArray &bytes, int from, int to)
{
    unsigned sum = 0;
    for (int i = from; i < to; ++i)
        sum += static_cast<unsigned char>(bytes.at(i));
    return QByteArray::number(sum & 0xFF, 16).toUpper().rightJustified(2, '0');
}

QByteArray request(const QByteArray &body)  // body: station .. end of area
{
    QByteArray f = QByteArray(1, '\x05') + body;
    return f + sumChars(f, 1, f.size());
}

QByteArray dataAnswer(const QByteArray &route, const QByteArray &data)
{
    QByteArray a = QByteArray(1, '\x02') + route + data + '\x03';
    return a + sumChars(a, 1, a.size());
}

QByteArray digitValues(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

} // namespace

class tst_CmdMitsubishi_FX_links : public QObject
{
    Q_OBJECT
private slots:
    void hexConversion_data();
    void hexConversion();
    void andCheck();
    void stationText_data();
    void stationText();
    void readRequest_data();
    void readRequest();
    void invalidRequests_data();
    void invalidRequests();
    void wordWriteRequest();
    void bitWriteRequest();
    void readJudge_data();
    void readJudge();
    void writeJudge_data();
    void writeJudge();
    void readAnswer_data();
    void readAnswer();
    void writeAnswer_data();
    void writeAnswer();
    void profile();
    void notConnected();
    void mutatedAnswers();
    void arbitraryRequestArguments();
};

void tst_CmdMitsubishi_FX_links::hexConversion_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("character");
    QTest::newRow("0") << 0 << int('0');
    QTest::newRow("9") << 9 << int('9');
    QTest::newRow("10") << 10 << int('A');
    QTest::newRow("15") << 15 << int('F');
}

void tst_CmdMitsubishi_FX_links::hexConversion()
{
    QFETCH(int, value);
    QFETCH(int, character);
    QCOMPARE(int(Cmd::GetHexconversionchar(value)), character);
    QCOMPARE(int(Cmd::GetcharconversionHex(character)), value);
    // Printable codes pass unchanged both ways; lower case is no digit.
    QCOMPARE(int(Cmd::GetHexconversionchar('D')), int('D'));
    QCOMPARE(int(Cmd::GetcharconversionHex('f')), int('f'));
    QCOMPARE(int(Cmd::GetcharconversionHex('G')), int('G'));
}

void tst_CmdMitsubishi_FX_links::andCheck()
{
    const QByteArray body = QByteArray(1, '\x05') + "01FFWR0D010001";
    QCOMPARE(int(Cmd::And_Check(body, 15)), 812);
    QCOMPARE(int(Cmd::And_Check(body, 1)), 0);
    QCOMPARE(int(Cmd::And_Check(body, 2)), int('0'));
    // Positions past the frame count as nothing.
    QCOMPARE(int(Cmd::And_Check(body, 200)), 812);
}

void tst_CmdMitsubishi_FX_links::stationText_data()
{
    QTest::addColumn<int>("station");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("0") << 0 << QByteArray("00");
    QTest::newRow("1") << 1 << QByteArray("01");
    QTest::newRow("26") << 26 << QByteArray("1A");
    QTest::newRow("255") << 255 << QByteArray("FF");
    QTest::newRow("257 low 8 bits") << 257 << QByteArray("01");
    QTest::newRow("-1") << -1 << QByteArray("FF");
}

void tst_CmdMitsubishi_FX_links::stationText()
{
    QFETCH(int, station);
    QFETCH(QByteArray, text);
    QCOMPARE(Cmd::stationText(station), text);
    const QByteArray frame = Cmd::buildReadRequest(station, "D0000", 1);
    QCOMPARE(frame.mid(1, 2), text);
}

void tst_CmdMitsubishi_FX_links::readRequest_data()
{
    QTest::addColumn<int>("station");
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("words");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("D100 one word")
        << 1 << QByteArray("D0100") << 1 << (QByteArray(1, '\x05') + "01FFWR0D0100012C");
    QTest::newRow("D100 two words")
        << 1 << QByteArray("D0100") << 2 << (QByteArray(1, '\x05') + "01FFWR0D0100022D");
    QTest::newRow("station 26") << 26 << QByteArray("D0100") << 1 << request("1AFFWR0D010001");
    QTest::newRow("X17 octal") << 0 << QByteArray("X0017") << 2 << request("00FFWR0X001702");
    QTest::newRow("64 words") << 5 << QByteArray("M8000") << 64 << request("05FFWR0M800040");
    QTest::newRow("255 words") << 1 << QByteArray("D0000") << 255 << request("01FFWR0D0000FF");
}

void tst_CmdMitsubishi_FX_links::readRequest()
{
    QFETCH(int, station);
    QFETCH(QByteArray, head);
    QFETCH(int, words);
    QFETCH(QByteArray, expected);
    const QByteArray frame = Cmd::buildReadRequest(station, head, words);
    QCOMPARE(frame, expected);
    QCOMPARE(frame.size(), 17);
}

void tst_CmdMitsubishi_FX_links::invalidRequests_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("words");
    QTest::newRow("no words") << QByteArray("D0100") << 0;
    QTest::newRow("points field would wrap") << QByteArray("D0100") << 256;
    QTest::newRow("negative") << QByteArray("D0100") << -3;
    QTest::newRow("short head") << QByteArray("D010") << 1;
    QTest::newRow("long head") << QByteArray("D01000") << 1;
    QTest::newRow("empty head") << QByteArray() << 1;
    QTest::newRow("letter in digits") << QByteArray("D01A0") << 1;
    QTest::newRow("lower-case letter") << QByteArray("d0100") << 1;
    QTest::newRow("X with 8") << QByteArray("X0018") << 1;
    QTest::newRow("Y with 9") << QByteArray("Y0900") << 1;
}

void tst_CmdMitsubishi_FX_links::invalidRequests()
{
    QFETCH(QByteArray, head);
    QFETCH(int, words);
    QVERIFY(Cmd::buildReadRequest(1, head, words).isEmpty());
    const QByteArray wordChars = words > 0 && words < 300 ? QByteArray(4 * words, '0') : QByteArray();
    QVERIFY(Cmd::buildWordWriteRequest(1, head, wordChars).isEmpty());
    const QByteArray points = words > 0 && words < 300 ? QByteArray(words, '1') : QByteArray();
    QVERIFY(Cmd::buildBitWriteRequest(1, head, points).isEmpty());
}

void tst_CmdMitsubishi_FX_links::wordWriteRequest()
{
    // D100 <- 0x1234, 0x00AB: four characters per word, most significant first.
    QCOMPARE(Cmd::buildWordWriteRequest(1, "D0100", "123400AB"),
             request("01FFWW0D010002123400AB"));
    QCOMPARE(Cmd::buildWordWriteRequest(0, "M0016", "FFFF"), request("00FFWW0M001601FFFF"));
    // Data must be whole words of uppercase hex characters.
    QVERIFY(Cmd::buildWordWriteRequest(1, "D0100", "123").isEmpty());
    QVERIFY(Cmd::buildWordWriteRequest(1, "D0100", "12ab").isEmpty());
    QVERIFY(Cmd::buildWordWriteRequest(1, "D0100", "12 4").isEmpty());
    QVERIFY(Cmd::buildWordWriteRequest(1, "D0100", QByteArray()).isEmpty());
    // 64 words: longer than the 8-bit count of And_Check, still summed whole.
    const QByteArray data(256, 'F');
    QCOMPARE(Cmd::buildWordWriteRequest(1, "D0000", data), request("01FFWW0D000040" + data));
}

void tst_CmdMitsubishi_FX_links::bitWriteRequest()
{
    QCOMPARE(Cmd::buildBitWriteRequest(1, "M0100", "10110"), request("01FFBW0M01000510110"));
    QCOMPARE(Cmd::buildBitWriteRequest(26, "Y0007", "1"), request("1AFFBW0Y0007011"));
    const QByteArray points(160, '1');
    QCOMPARE(Cmd::buildBitWriteRequest(1, "M0000", points), request("01FFBW0M0000A0" + points));
    QVERIFY(Cmd::buildBitWriteRequest(1, "M0100", "102").isEmpty());
    QVERIFY(Cmd::buildBitWriteRequest(1, "M0100", QByteArray(1, '\x01')).isEmpty());
}

void tst_CmdMitsubishi_FX_links::readJudge_data()
{
    QTest::addColumn<QByteArray>("soFar");
    QTest::addColumn<int>("words");
    QTest::addColumn<int>("missing");
    QTest::newRow("nothing yet") << QByteArray() << 1 << 12;
    QTest::newRow("STX only") << QByteArray("\x02") << 1 << 11;
    QTest::newRow("STX, 10 of 12") << QByteArray("\x02" "01FF00FF\x03" "0") << 1 << 1;
    QTest::newRow("complete") << QByteArray("\x02" "01FF00FF\x03" "00") << 1 << 0;
    QTest::newRow("longer than expected") << QByteArray("\x02" "01FF00FF\x03" "00XX") << 1 << 0;
    QTest::newRow("64 words partial") << QByteArray("\x02" "01FF") << 64 << 264 - 5;
    QTest::newRow("NAK partial") << QByteArray("\x15" "01F") << 4 << 3;
    QTest::newRow("NAK complete") << QByteArray("\x15" "01FF06") << 4 << 0;
    QTest::newRow("garbage start") << QByteArray("xyz") << 4 << 0;
}

void tst_CmdMitsubishi_FX_links::readJudge()
{
    QFETCH(QByteArray, soFar);
    QFETCH(int, words);
    QFETCH(int, missing);
    QCOMPARE(Cmd::readAnswerMissing(soFar, words), missing);
}

void tst_CmdMitsubishi_FX_links::writeJudge_data()
{
    QTest::addColumn<QByteArray>("soFar");
    QTest::addColumn<int>("missing");
    QTest::newRow("nothing yet") << QByteArray() << 5;
    QTest::newRow("ACK partial") << QByteArray("\x06" "01") << 2;
    QTest::newRow("ACK complete") << QByteArray("\x06" "01FF") << 0;
    QTest::newRow("NAK partial") << QByteArray("\x15" "01FF") << 2;
    QTest::newRow("NAK complete") << QByteArray("\x15" "01FF02") << 0;
    QTest::newRow("STX") << QByteArray("\x02") << 0;
}

void tst_CmdMitsubishi_FX_links::writeJudge()
{
    QFETCH(QByteArray, soFar);
    QFETCH(int, missing);
    QCOMPARE(Cmd::writeAnswerMissing(soFar), missing);
}

void tst_CmdMitsubishi_FX_links::readAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("words");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<int>("nakCode");

    const QByteArray route("01FF");
    QTest::newRow("one word 00FF") << dataAnswer(route, "00FF") << 1 << int(Cmd::AnswerOk)
                                   << digitValues({0, 0, 15, 15}) << -1;
    QTest::newRow("two words") << dataAnswer(route, "000A0014") << 2 << int(Cmd::AnswerOk)
                               << digitValues({0, 0, 0, 10, 0, 0, 1, 4}) << -1;
    QTest::newRow("lower-case data") << dataAnswer(route, "00ff") << 1 << int(Cmd::AnswerBadCheck)
                                     << QByteArray() << -1;
    QTest::newRow("non-hex data") << dataAnswer(route, "00G0") << 1 << int(Cmd::AnswerBadCheck)
                                  << QByteArray() << -1;
    QByteArray badSum = dataAnswer(route, "1234");
    badSum[badSum.size() - 1] = badSum.at(badSum.size() - 1) == '0' ? '1' : '0';
    QTest::newRow("bad sum") << badSum << 1 << int(Cmd::AnswerBadCheck) << QByteArray() << -1;
    QByteArray lowerSum = QByteArray(1, '\x02') + "01FF000A\x03";
    lowerSum += sumChars(lowerSum, 1, lowerSum.size()).toLower();
    QTest::newRow("sum in lower case") << lowerSum << 1 << int(Cmd::AnswerBadCheck) << QByteArray() << -1;
    QTest::newRow("other station") << dataAnswer("02FF", "1234") << 1 << int(Cmd::AnswerBadCheck)
                                   << QByteArray() << -1;
    QTest::newRow("other PC number") << dataAnswer("0100", "1234") << 1 << int(Cmd::AnswerBadCheck)
                                     << QByteArray() << -1;
    QByteArray noStx = dataAnswer(route, "1234");
    noStx[0] = '\x06';
    QTest::newRow("no STX") << noStx << 1 << int(Cmd::AnswerBadCheck) << QByteArray() << -1;
    QByteArray noEtx = dataAnswer(route, "1234");
    noEtx[9] = 'X';
    QTest::newRow("no ETX") << noEtx << 1 << int(Cmd::AnswerBadCheck) << QByteArray() << -1;
    QTest::newRow("too short") << dataAnswer(route, "12") << 1 << int(Cmd::AnswerBadLength)
                               << QByteArray() << -1;
    QTest::newRow("too long") << (dataAnswer(route, "1234") + "x") << 1 << int(Cmd::AnswerBadLength)
                              << QByteArray() << -1;
    QTest::newRow("answer of one word to two") << dataAnswer(route, "1234") << 2
                                               << int(Cmd::AnswerBadLength) << QByteArray() << -1;
    QTest::newRow("NAK 06") << QByteArray("\x15" "01FF06") << 1 << int(Cmd::AnswerNak) << QByteArray() << 6;
    QTest::newRow("NAK of another station") << QByteArray("\x15" "03FF06") << 1
                                            << int(Cmd::AnswerBadCheck) << QByteArray() << -1;
    QTest::newRow("empty") << QByteArray() << 1 << int(Cmd::AnswerEmpty) << QByteArray() << -1;
    QTest::newRow("single STX") << QByteArray("\x02") << 1 << int(Cmd::AnswerBadLength) << QByteArray() << -1;
    QTest::newRow("zero words") << QByteArray("\x02" "01FF\x03" "00") << 0 << int(Cmd::AnswerBadLength)
                                << QByteArray() << -1;
}

void tst_CmdMitsubishi_FX_links::readAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, words);
    QFETCH(int, verdict);
    QFETCH(QByteArray, digits);
    QFETCH(int, nakCode);
    const QByteArray req = Cmd::buildReadRequest(1, "D0100", qMax(1, words));
    QByteArray out("prefix");
    int code = 99;
    QCOMPARE(int(Cmd::parseReadAnswer(req, answer, words, &out, &code)), verdict);
    QCOMPARE(out, QByteArray("prefix") + digits);  // appended only when accepted
    QCOMPARE(code, nakCode);
    // A request too short to carry a route accepts no answer.
    QVERIFY(Cmd::parseReadAnswer(QByteArray("\x05"), answer, words, nullptr) != Cmd::AnswerOk);
}

void tst_CmdMitsubishi_FX_links::writeAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<int>("nakCode");
    QTest::newRow("ACK") << QByteArray("\x06" "01FF") << int(Cmd::AnswerOk) << -1;
    QTest::newRow("ACK other station") << QByteArray("\x06" "02FF") << int(Cmd::AnswerBadCheck) << -1;
    QTest::newRow("ACK other PC") << QByteArray("\x06" "01FE") << int(Cmd::AnswerBadCheck) << -1;
    QTest::newRow("ACK short") << QByteArray("\x06" "01F") << int(Cmd::AnswerBadLength) << -1;
    QTest::newRow("ACK long") << QByteArray("\x06" "01FF0") << int(Cmd::AnswerBadLength) << -1;
    QTest::newRow("NAK 02") << QByteArray("\x15" "01FF02") << int(Cmd::AnswerNak) << 2;
    QTest::newRow("NAK 0A") << QByteArray("\x15" "01FF0A") << int(Cmd::AnswerNak) << 10;
    QTest::newRow("NAK bad code") << QByteArray("\x15" "01FF0a") << int(Cmd::AnswerBadCheck) << -1;
    QTest::newRow("NAK short") << QByteArray("\x15" "01FF0") << int(Cmd::AnswerBadLength) << -1;
    QTest::newRow("STX answer") << dataAnswer("01FF", "0000") << int(Cmd::AnswerBadCheck) << -1;
    QTest::newRow("empty") << QByteArray() << int(Cmd::AnswerEmpty) << -1;
}

void tst_CmdMitsubishi_FX_links::writeAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, verdict);
    QFETCH(int, nakCode);
    const QByteArray req = Cmd::buildWordWriteRequest(1, "D0100", "0001");
    int code = 99;
    QCOMPARE(int(Cmd::parseWriteAnswer(req, answer, &code)), verdict);
    QCOMPARE(code, nakCode);
}

void tst_CmdMitsubishi_FX_links::profile()
{
    const LinkProfile p = Cmd::linkProfile();
    QCOMPARE(p.name, QStringLiteral("Lunetta"));
    QCOMPARE(p.texts.lost, QStringLiteral("lib[bLunetta]%1:%2 Disconnected=%3"));
    QVERIFY(p.abortBeforeConnect);
}

void tst_CmdMitsubishi_FX_links::notConnected()
{
    Cmd link;
    QByteArray out;
    QCOMPARE(link.read_cmd(1, "0100", 1, "D100", &out), -3);
    QCOMPARE(link.write_words(1, "0100", "0001", "D100"), -3);
    QCOMPARE(link.write_bits(1, "0100", "1", "M100"), -3);
    QVERIFY(out.isEmpty());
    // Requests the frame cannot carry are refused before the link is asked.
    QCOMPARE(link.read_cmd(1, "0100", 0, "D100", &out), 1);
    QCOMPARE(link.read_cmd(1, "0100", 1, QString(), &out), 1);
    QCOMPARE(link.read_cmd(1, "01000", 1, "D100", &out), 1);
    QCOMPARE(link.write_words(1, "0100", "001", "D100"), 1);
}

void tst_CmdMitsubishi_FX_links::mutatedAnswers()
{
    // Valid answers with bytes changed, cut or added: no verdict reads past the
    // answer, and only an intact answer is accepted.
    QRandomGenerator rng(20231218);
    const QByteArray request = Cmd::buildReadRequest(1, "D0000", 3);
    const QByteArray good = dataAnswer("01FF", "0123ABCD00FF");
    const QByteArray writeReq = Cmd::buildBitWriteRequest(1, "M0000", "1");
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray a = round % 3 == 0 ? QByteArray("\x06" "01FF") : good;
        const int edits = rng.bounded(4);
        for (int e = 0; e < edits; ++e) {
            switch (rng.bounded(3)) {
            case 0:
                if (!a.isEmpty())
                    a[rng.bounded(a.size())] = char(rng.bounded(256));
                break;
            case 1:
                a.truncate(rng.bounded(a.size() + 1));
                break;
            default:
                a.append(char(rng.bounded(256)));
                break;
            }
        }
        QByteArray digits;
        const auto v = Cmd::parseReadAnswer(request, a, 3, &digits);
        if (v == Cmd::AnswerOk) {
            QCOMPARE(a, good);
            QCOMPARE(digits.size(), 12);
            ++accepted;
        } else {
            QVERIFY(digits.isEmpty());
        }
        QVERIFY(Cmd::readAnswerMissing(a, 3) >= 0);
        QVERIFY(Cmd::writeAnswerMissing(a) >= 0);
        if (Cmd::parseWriteAnswer(writeReq, a) == Cmd::AnswerOk)
            QCOMPARE(a, QByteArray("\x06" "01FF"));
    }
    QVERIFY(accepted > 0);
}

void tst_CmdMitsubishi_FX_links::arbitraryRequestArguments()
{
    // Whatever the arguments, a request is either empty or well formed.
    QRandomGenerator rng(7);
    const QByteArray alphabet("DXYMSdx0123456789A:/ ");
    for (int round = 0; round < 5000; ++round) {
        QByteArray head;
        const int len = rng.bounded(7);
        for (int i = 0; i < len; ++i)
            head.append(alphabet.at(rng.bounded(alphabet.size())));
        const int words = rng.bounded(-2, 300);
        const QByteArray frame = Cmd::buildReadRequest(rng.bounded(-300, 300), head, words);
        if (frame.isEmpty())
            continue;
        QCOMPARE(frame.size(), 17);
        QCOMPARE(frame.at(0), '\x05');
        QVERIFY(words >= 1 && words <= 255);
        QCOMPARE(frame.mid(15), sumChars(frame, 1, 15));
    }
}

QTEST_GUILESS_MAIN(tst_CmdMitsubishi_FX_links)
#include "tst_CmdMitsubishi_FX_links.moc"
