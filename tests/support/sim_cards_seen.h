// What kovra-sim's state says of every card it has seen: the cards that left and the one lying in
// the field, in the order they came, each with the data of its first standard file (empty when
// the card has none). The end-to-end tests read the cards back from it after a series.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <string>
#include <vector>

namespace kovra_test {

struct SeenCard {
  std::string uid;
  std::string data;  // the first standard file's bytes, hex
};

// The cards in `state_text`, the answer of the simulator's "state" control command.
inline std::vector<SeenCard> CardsSeen(const std::string &state_text) {
  const QJsonObject state = QJsonDocument::fromJson(QByteArray::fromStdString(state_text)).object();
  QJsonArray cards = state["history"].toArray();
  const QJsonValue in_field = state["field"]["card"];
  if (in_field.isObject()) cards.append(in_field);
  std::vector<SeenCard> seen;
  for (const QJsonValue &entry : cards) {
    SeenCard card{entry["uid"].toString().toStdString(), {}};
    for (const QJsonValue &application : entry["card"]["applications"].toArray()) {
      for (const QJsonValue &file : application["files"].toArray()) {
        if (card.data.empty()) card.data = file["data"].toString().toStdString();
      }
    }
    seen.push_back(card);
  }
  return seen;
}

}  // namespace kovra_test
