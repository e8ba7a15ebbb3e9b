// The in-process simulated reader behind the library's transport seam, as a pushed serial link or
// a polled HID link.
#include "support/sim_transport.h"

#include "reader/handle_pool.h"
#include "reader/sdk_app.h"

namespace kovra_test {
namespace {

// Handles of ports on simulated links (see SimPortOptions::serial_handle). Never destroyed, as
// the library's own pools, so that ports closed at process end can still give numbers back.
kovra::HandlePool &SimHandlePool() {
  static kovra::HandlePool *const pool = new kovra::HandlePool(30000);
  return *pool;
}

}  // namespace

SimTransport::SimTransport(kovra_sim::SimReader &reader, Delivery delivery)
    : delivery_(delivery), reader_(&reader) {
  connection_ =
      reader.Connect([this](const uint8_t *bytes, size_t count) { OnOutput(bytes, count); },
                     [this] { OnReaderGone(); });
}

SimTransport::~SimTransport() {
  Close();
}

void SimTransport::SetSink(kovra::ReceiveSink *sink) {
  sink_.store(sink);
}

void SimTransport::Write(const uint8_t *bytes, size_t count) {
  ++write_count_;
  if (link_dropped_.load()) return;
  std::lock_guard<std::mutex> lock(reader_mutex_);
  if (reader_ != nullptr) reader_->Receive(bytes, count);
}

size_t SimTransport::Read(uint8_t *buffer, size_t max) {
  std::lock_guard<std::mutex> lock(queue_mutex_);
  size_t count = 0;
  while (count < max && !queue_.empty()) {
    buffer[count++] = queue_.front();
    queue_.pop_front();
  }
  return count;
}

void SimTransport::Close() {
  {
    std::lock_guard<std::mutex> lock(reader_mutex_);
    // Disconnect waits for a delivery in progress, so no output reaches the sink afterwards.
    if (reader_ != nullptr) reader_->Disconnect(connection_);
    reader_ = nullptr;
  }
  open_.store(false);
  std::lock_guard<std::mutex> lock(queue_mutex_);
  queue_.clear();
}

void SimTransport::SetLinkGone() {
  open_.store(false);
}

void SimTransport::SetLinkDropped(bool dropped) {
  link_dropped_.store(dropped);
}

size_t SimTransport::QueuedBytes() const {
  std::lock_guard<std::mutex> lock(queue_mutex_);
  return queue_.size();
}

void SimTransport::OnOutput(const uint8_t *bytes, size_t count) {
  // Runs inside Write (reader_mutex_ held) or on the reader's delivery thread, so it must not
  // take reader_mutex_.
  if (delivery_ == Delivery::kPushed) {
    if (kovra::ReceiveSink *sink = sink_.load()) sink->OnBytesReceived(bytes, count);
    return;
  }
  std::lock_guard<std::mutex> lock(queue_mutex_);
  queue_.insert(queue_.end(), bytes, bytes + count);
}

void SimTransport::OnReaderGone() {
  std::lock_guard<std::mutex> lock(reader_mutex_);
  reader_ = nullptr;
  open_.store(false);
}

std::shared_ptr<kovra::CKOVRA_Port> MakeSimPort(kovra_sim::SimReader &reader, int family,
                                                const SimPortOptions &options) {
  auto port = std::make_shared<kovra::CKOVRA_Port>();
  auto transport = std::make_unique<SimTransport>(reader, options.delivery);
  transport->SetSink(port.get());
  transport->SetDrainsBeforeSend(options.drains_before_send);
  port->AttachTransport(std::move(transport),
                        options.serial_handle ? kovra::HandlePool::Serial() : SimHandlePool());
  port->SetFamily(family);
  port->SetBusAddress(options.address.value_or(reader.Config().address));
  port->SetTimeout(options.timeout_ms);
  if (options.add_to_app) kovra::CKOVRA_SDKApp::Instance().AddPort(port);
  return port;
}

SimTransport *SimTransportOf(const kovra::CKOVRA_Port &port) {
  return dynamic_cast<SimTransport *>(port.GetTransport());
}

void RemoveSimPort(const std::shared_ptr<kovra::CKOVRA_Port> &port) {
  if (!port) return;
  kovra::CKOVRA_SDKApp::Instance().RemovePort(port);
  port->CloseTransport();
}

}  // namespace kovra_test
