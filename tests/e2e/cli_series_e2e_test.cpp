// quillmate-cli's series commands on the ledger its own writes made on kovra-sim: the summary,
// the CSV and JSON exports and the PDF report, and what they refuse (bad usage, a series or ledger
// that is not there, a ledger that cannot be read, an output that cannot be written).
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_run.h"
#include "support/sim_process.h"

using kovra_test::CliRun;
using kovra_test::RunCli;
using kovra_test::TempDir;

namespace {

const std::vector<std::string> kCountingJob = {
    "AppID=A1B2C3",   "FileID=1",      "FileMode=0",       "KeyAnzahl=2",
    "ReadKeyNr=1",    "WriteKeyNr=1",  "ReadWriteKeyNr=1", "Byteanzahl=16",
    "Zahlenformat=1", "Darstellung=1", "AutoIncrement=1",  "Wert=41"};

std::vector<std::string> With(std::vector<std::string> first,
                              const std::vector<std::string> &then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

QByteArray ReadFile(const std::string &path) {
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The UIDs of the cards kovra-sim saw, in the order they were laid down, as the card log (and the
// export) shows them: from the last byte to the first.
std::vector<std::string> UidsSeen(kovra_test::SimProcess &sim) {
  const QJsonObject state =
      QJsonDocument::fromJson(QByteArray::fromStdString(sim.Control("state"))).object();
  QJsonArray cards = state["history"].toArray();
  if (state["field"]["card"].isObject()) cards.append(state["field"]["card"]);
  std::vector<std::string> uids;
  for (const QJsonValue &card : cards) {
    const QByteArray uid = QByteArray::fromHex(card["uid"].toString().toLatin1());
    QByteArray reversed;
    for (auto it = uid.rbegin(); it != uid.rend(); ++it) reversed.append(*it);
    uids.push_back(reversed.toHex().toUpper().toStdString());
  }
  return uids;
}

class CliSeriesCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunCli(With(Config(), With({"job", "set"}, kCountingJob))).exit_code, 0);
  }
  std::vector<std::string> Config() { return {"--config", dir_.path()}; }
  std::string LedgerFile() { return dir_.path() + "/KV-DESFire Quillmate.ledger.sqlite"; }
  // `write --count 3` on three fresh cards kovra-sim lays down one after another.
  void WriteThreeCards() {
    ASSERT_FALSE(sim_.pty().empty());
    auto series = std::async(std::launch::async, [&] {
      return RunCli(
          With(Config(), {"--port", sim_.pty(), "--baud", "115200", "write", "--count", "3"}));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(800));  // the CLI opens the port
    ASSERT_EQ(sim_.Control("feed 3 leave=500 gap=300"), "ok");
    const CliRun written = series.get();
    ASSERT_EQ(written.exit_code, 0) << written.err;
  }

  TempDir dir_;
  kovra_test::SimProcess sim_{KOVRA_SIM_PATH, {}};
};

TEST_F(CliSeriesCommandsTest, AWrittenSeriesIsShownExportedAndReported) {
  WriteThreeCards();
  const std::vector<std::string> uids = UidsSeen(sim_);
  ASSERT_GE(uids.size(), 3u);

  const CliRun show = RunCli(With(Config(), {"series", "show"}));
  ASSERT_EQ(show.exit_code, 0) << show.err;
  for (const std::string &line :
       {"database:    " + LedgerFile() + "\n", std::string("cards:       3\n"),
        std::string("first value: 41\n"), std::string("last value:  43\n"),
        std::string("failures:    0\n"), std::string("gaps:        0\n"),
        std::string("reissues:    0\n"), std::string("/quillmate-cli\n")}) {
    EXPECT_NE(show.out.find(line), std::string::npos) << line << " in:\n" << show.out;
  }

  const CliRun json_show = RunCli(With(Config(), {"series", "show", "--json"}));
  ASSERT_EQ(json_show.exit_code, 0) << json_show.err;
  const QJsonObject summary =
      QJsonDocument::fromJson(QByteArray::fromStdString(json_show.out)).object();
  EXPECT_EQ(summary["cards"].toInt(), 3);
  EXPECT_EQ(summary["last_value"].toString(), "43");
  EXPECT_TRUE(summary["series"].toString().startsWith("A1B2C3/01 "))
      << summary["series"].toString().toStdString();

  // CSV on stdout: the header and one row per card, each with the UID of the card that got it.
  const CliRun csv = RunCli(With(Config(), {"series", "export", "--format", "csv"}));
  ASSERT_EQ(csv.exit_code, 0) << csv.err;
  const QList<QByteArray> lines = QByteArray::fromStdString(csv.out).split('\n');
  ASSERT_EQ(lines.size(), 5) << csv.out;
  EXPECT_EQ(lines[0],
            "series,value,uid,station,operator,reserved_at,finished_at,job_fingerprint,result,"
            "reissue\r");
  const std::vector<std::string> values = {"41", "42", "43"};
  for (size_t i = 0; i < 3; ++i) {
    const std::string row = lines[int(i) + 1].toStdString();
    EXPECT_NE(row.find("," + values[i] + "," + uids[i] + ","), std::string::npos) << row;
    EXPECT_NE(row.find(",false\r"), std::string::npos) << row;
  }

  // JSON into a file: the summary and the same rows.
  const std::string json_file = dir_.path() + "/serie.json";
  const CliRun json =
      RunCli(With(Config(), {"series", "export", "--format", "json", "--output", json_file}));
  ASSERT_EQ(json.exit_code, 0) << json.err;
  EXPECT_EQ(json.out, "");
  const QJsonObject exported = QJsonDocument::fromJson(ReadFile(json_file)).object();
  EXPECT_EQ(exported["summary"].toObject()["cards"].toInt(), 3);
  const QJsonArray entries = exported["entries"].toArray();
  ASSERT_EQ(entries.size(), 3);
  for (qsizetype i = 0; i < 3; ++i) {
    EXPECT_EQ(entries[i]["value"].toString().toStdString(), values[size_t(i)]);
    EXPECT_EQ(entries[i]["uid"].toString().toStdString(), uids[size_t(i)]);
    EXPECT_TRUE(entries[i]["finished_at"].toString().endsWith('Z'));
  }

  // The report, on a machine without a display.
  const std::string pdf = dir_.path() + "/bericht.pdf";
  CliRun report;
  {
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    report = RunCli(With(Config(), {"series", "report", "--output", pdf}));
    if (!display.isEmpty()) qputenv("DISPLAY", display);
  }
  ASSERT_EQ(report.exit_code, 0) << report.err;
  EXPECT_TRUE(ReadFile(pdf).startsWith("%PDF-"));
}

TEST_F(CliSeriesCommandsTest, WhatTheSeriesCommandsRefuse) {
  struct Case {
    std::vector<std::string> arguments;
    int exit_code;
    std::string named;
  };
  // Settings that never counted a card have no ledger, and showing their series makes none.
  const std::string fresh = dir_.path() + "/fresh";
  const CliRun none = RunCli({"--config", fresh, "series", "show"});
  EXPECT_EQ(none.exit_code, 4);
  const std::string fresh_ledger = fresh + "/KV-DESFire Quillmate.ledger.sqlite";
  EXPECT_NE(none.err.find(fresh_ledger), std::string::npos) << none.err;
  EXPECT_FALSE(QFile::exists(QString::fromStdString(fresh_ledger)));

  WriteThreeCards();
  const std::string unwritable = dir_.path() + "/missing/serie.csv";
  const std::vector<Case> cases = {
      {{"series"}, 2, "expected \"show\""},
      {{"series", "list"}, 2, "expected \"show\""},
      {{"series", "show", "extra"}, 2, "extra"},
      {{"series", "export"}, 2, "--format csv"},
      {{"series", "export", "--format", "xml"}, 2, "--format csv"},
      {{"series", "report"}, 2, "--output FILE.pdf"},
      {{"series", "show", "--format", "csv"}, 2, "--format belongs to series export"},
      {{"series", "show", "--output", "x"}, 2, "--output belongs"},
      {{"info", "--output", "x"}, 2, "--output belong"},
      {{"series", "show", "--series", "Halle 9"}, 2, "holds no series \"Halle 9\""},
      {{"series", "export", "--format", "csv", "--output", unwritable}, 2, unwritable},
  };
  for (const Case &c : cases) {
    const CliRun run = RunCli(With(Config(), c.arguments));
    EXPECT_EQ(run.exit_code, c.exit_code) << c.arguments.back() << ": " << run.err;
    EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "") << c.arguments.back();
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(unwritable)));

  // A ledger that is no database any more: exit 4, the file named.
  {
    std::ofstream damaged(LedgerFile(), std::ios::binary | std::ios::trunc);
    damaged << std::string(8192, 'x');
  }
  QFile::remove(QString::fromStdString(LedgerFile() + "-wal"));
  QFile::remove(QString::fromStdString(LedgerFile() + "-shm"));
  for (const std::vector<std::string> &command :
       {std::vector<std::string>{"series", "show"},
        std::vector<std::string>{"series", "export", "--format", "json"}}) {
    const CliRun run = RunCli(With(Config(), command));
    EXPECT_EQ(run.exit_code, 4) << command.back() << ": " << run.err;
    EXPECT_NE(run.err.find(LedgerFile()), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

}  // namespace
