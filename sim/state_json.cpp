// The whole state of a simulated reader as one line of JSON, for the control command `state`.
#include "sim/state_json.h"

#include <chrono>
#include <optional>

#include "sim/json.h"

namespace kovra_sim {
namespace {

int64_t MillisecondsSince(SimClock::time_point epoch, SimClock::time_point at) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(at - epoch).count();
}

int64_t MicrosecondsSince(SimClock::time_point epoch, SimClock::time_point at) {
  return std::chrono::duration_cast<std::chrono::microseconds>(at - epoch).count();
}

void WriteTimeOrNull(JsonWriter &json, SimClock::time_point epoch,
                     const std::optional<SimClock::time_point> &at) {
  if (at) {
    json.Number(MicrosecondsSince(epoch, *at));
  } else {
    json.Null();
  }
}

// "timing": the commands answered while the card lay in the field, in microseconds (benchmarks
// compare the span from the first command to the last reply with the modelled time).
void WriteCommandTimes(JsonWriter &json, SimClock::time_point epoch, const CommandTimes &times) {
  json.Key("timing").BeginObject();
  json.Key("commands").Unsigned(times.commands);
  json.Key("first_command_us");
  WriteTimeOrNull(json, epoch, times.first_command);
  json.Key("last_reply_us");
  WriteTimeOrNull(json, epoch, times.last_reply);
  json.Key("modelled_us")
      .Number(std::chrono::duration_cast<std::chrono::microseconds>(times.modelled).count());
  json.EndObject();
}

void WriteReaderAndField(JsonWriter &json, const SimReaderConfig &config, Firmware &firmware) {
  json.Key("reader").BeginObject();
  json.Key("family").Number(config.family);
  json.Key("address").Unsigned(config.address);
  json.Key("version").String(config.version);
  json.Key("fv");
  if (config.follow_up_version) {
    json.String(*config.follow_up_version);
  } else {
    json.Null();
  }
  json.Key("serial").String(HexString(config.serial_number));
  json.Key("part_size").Unsigned(config.exchange_part_size);
  json.Key("mode").Unsigned(firmware.Mode());
  json.Key("usb_mode").Unsigned(firmware.UsbMode());
  json.Key("iso_parameter").Unsigned(firmware.IsoParameter());
  json.Key("pps").Unsigned(firmware.LastPps());
  json.Key("control").String(HexString(firmware.LastControl()));
  json.Key("pending_parts").Unsigned(firmware.PendingParts());
  json.EndObject();

  Field &field = firmware.GetField();
  const SimClock::time_point epoch = field.Epoch();
  json.Key("field").BeginObject();
  json.Key("on").Bool(field.PowerOn());
  json.Key("card");
  if (const Card *card = field.Present()) {
    json.BeginObject();
    json.Key("kind").String(CardKindName(card->Kind()));
    json.Key("uid").String(HexString(card->Uid()));
    json.Key("state").String(ActivationName(field.State()));
    json.Key("arrived_ms").Number(MillisecondsSince(epoch, field.ArrivedAt().value_or(epoch)));
    json.Key("exchanges").Unsigned(field.PresentExchanges());
    WriteCommandTimes(json, epoch, field.PresentCommandTimes());
    json.Key("card").Raw(card->StateJson());
    json.EndObject();
  } else {
    json.Null();
  }
  json.Key("cards_to_come").Unsigned(field.CardsToCome());
  json.EndObject();

  json.Key("history").BeginArray();
  for (const LeftCard &left : field.History()) {
    json.BeginObject();
    json.Key("kind").String(CardKindName(left.kind));
    json.Key("uid").String(HexString(left.uid));
    json.Key("arrived_ms").Number(MillisecondsSince(epoch, left.arrived));
    json.Key("left_ms").Number(MillisecondsSince(epoch, left.left));
    json.Key("exchanges").Unsigned(left.exchanges);
    json.Key("reason").String(LeaveReasonName(left.reason));
    WriteCommandTimes(json, epoch, left.command_times);
    json.Key("card").Raw(left.card->StateJson());
    json.EndObject();
  }
  json.EndArray();
}

}  // namespace

std::string StateJson(SimReader &reader) {
  const SimReaderConfig config = reader.Config();
  const FaultState faults = reader.Faults();
  const std::map<uint8_t, size_t> counts = reader.CommandCounts();
  const size_t total = reader.CommandCount();
  const std::optional<LineSettings> line = reader.Line();
  const std::optional<LinkModel> link_model = reader.GetLinkModel();
  const bool log = reader.FrameLogOn();

  JsonWriter json;
  json.BeginObject();
  reader.WithFirmware([&](Firmware &firmware) { WriteReaderAndField(json, config, firmware); });

  json.Key("commands").BeginObject();
  json.Key("total").Unsigned(total);
  json.Key("by_code").BeginObject();
  for (const auto &[code, count] : counts) json.Key(HexString(&code, 1)).Unsigned(count);
  json.EndObject();
  json.EndObject();

  json.Key("faults").BeginObject();
  json.Key("silent").Bool(faults.silent);
  json.Key("bad_checksum").Bool(faults.bad_checksum);
  json.Key("remove_after");
  if (faults.remove_after) {
    json.Unsigned(*faults.remove_after);
  } else {
    json.Null();
  }
  json.Key("link_dropped").Bool(faults.link_dropped);
  json.EndObject();

  json.Key("line");
  if (line) {
    json.BeginObject();
    json.Key("baud").Unsigned(line->baud);
    json.Key("parity").Bool(line->parity);
    json.Key("parity_odd").Bool(line->parity_odd);
    json.Key("stop_bits").Number(line->stop_bits);
    json.Key("data_bits").Number(line->data_bits);
    json.EndObject();
  } else {
    json.Null();
  }

  json.Key("link_model");
  if (link_model) {
    json.BeginObject();
    json.Key("baud").Unsigned(link_model->baud);
    json.Key("per_exchange_us")
        .Number(std::chrono::duration_cast<std::chrono::microseconds>(link_model->per_exchange)
                    .count());
    json.Key("card_times").Bool(!link_model->card_times.empty());
    json.EndObject();
  } else {
    json.Null();
  }
  json.Key("log").Bool(log);
  json.EndObject();
  return json.Text();
}

}  // namespace kovra_sim
