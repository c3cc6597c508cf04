#include "order_store.h"

#include <algorithm>
#include <cstdio>

#include "platform/env.h"

namespace partnersim {
namespace {

using nlohmann::json;

std::string FileNameFor(long sequence) {
  char name[32];
  std::snprintf(name, sizeof name, "%06ld.xml", sequence);
  return name;
}

}  // namespace

OrderStore::OrderStore(std::string data_dir, std::vector<OrderRecord> seeded)
    : data_dir_(std::move(data_dir)), seeded_(std::move(seeded)) {
  for (const OrderRecord& r : seeded_) last_sequence_ = std::max(last_sequence_, r.sequence);
}

bool OrderStore::Open(std::string* error) {
  if (data_dir_.empty()) return true;
  larkedi::Env* env = larkedi::Env::Default();
  if (!env->CreateDirectories(data_dir_ + "/received", error)) return false;
  const std::string state_path = data_dir_ + "/gateway-state.json";
  if (!env->Exists(state_path)) return true;
  std::string text;
  if (!env->ReadFile(state_path, &text, error)) return false;
  json state = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (state.is_discarded() || !state.is_object() || !state.value("orders", json()).is_array()) {
    *error = state_path + ": not a gateway state file";
    return false;
  }
  for (const json& entry : state["orders"]) {
    OrderRecord record;
    if (!FromJson(entry, &record, error)) {
      *error = state_path + ": " + *error;
      return false;
    }
    received_.push_back(std::move(record));
  }
  last_sequence_ = std::max(last_sequence_, state.value("last_sequence", 0L));
  return true;
}

bool OrderStore::SaveState(std::string* error) const {
  json orders = json::array();
  for (const OrderRecord& r : received_) orders.push_back(ToJson(r));
  json state = {{"last_sequence", last_sequence_}, {"orders", orders}};
  std::string text = state.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
  return larkedi::Env::Default()->WriteFileAtomic(data_dir_ + "/gateway-state.json", text, error);
}

long OrderStore::Add(const std::string& document, OrderRecord record, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  const long sequence = last_sequence_ + 1;
  record.sequence = sequence;
  record.received = UtcNow();
  if (data_dir_.empty()) {
    memory_documents_[sequence] = document;
    last_sequence_ = sequence;
    received_.push_back(std::move(record));
    return sequence;
  }
  record.file = FileNameFor(sequence);
  if (!larkedi::Env::Default()->WriteFileAtomic(data_dir_ + "/received/" + record.file, document,
                                                error)) {
    return -1;
  }
  last_sequence_ = sequence;
  received_.push_back(std::move(record));
  if (!SaveState(error)) {
    // The number stays used: the document is on disk under it.
    received_.pop_back();
    return -1;
  }
  return sequence;
}

std::vector<OrderRecord> OrderStore::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<OrderRecord> all = seeded_;
  all.insert(all.end(), received_.begin(), received_.end());
  return all;
}

std::vector<OrderRecord> OrderStore::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

bool OrderStore::Document(const OrderRecord& record, std::string* document) const {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = memory_documents_.find(record.sequence);
    if (it != memory_documents_.end()) {
      *document = it->second;
      return true;
    }
  }
  if (data_dir_.empty() || record.file.empty()) return false;
  return larkedi::Env::Default()->ReadFile(data_dir_ + "/received/" + record.file, document,
                                           nullptr);
}

}  // namespace partnersim
