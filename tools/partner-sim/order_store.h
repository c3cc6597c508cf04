// The orders the partner gateway holds, and where they live on disk.
//
// Data folder layout (--data-dir DIR):
//   DIR/received/NNNNNN.xml   each received purchase-order document, byte for byte, named
//                             from its sequence number (6 digits, more when needed)
//   DIR/gateway-state.json    {"last_sequence": n, "orders": [record, ...]}
// Every file is written whole (temporary file, then rename). A document is written before
// the state that numbers it, so a crash between the two loses a number, never an order
// the state points to. A restarted simulator reads the state and continues the numbering.
//
// Without a data folder the orders (and their documents) are kept in memory only and the
// numbering starts again at every start. Orders given in the data file are listed too;
// the numbering starts above the highest sequence among them.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "order_record.h"

namespace partnersim {

class OrderStore {
 public:
  /// `data_dir` empty: memory only. `seeded` are the data file's orders.
  OrderStore(std::string data_dir, std::vector<OrderRecord> seeded);
  OrderStore(const OrderStore&) = delete;
  OrderStore& operator=(const OrderStore&) = delete;

  /// Creates the data folder and reads its state. False with `error` set when the folder
  /// cannot be used or its state file is unreadable.
  bool Open(std::string* error);

  /// Stores `document` under the next sequence number and records `record` (whose
  /// sequence, file and received time are filled here). Returns the number, or -1 with
  /// `error` set when nothing could be written.
  long Add(const std::string& document, OrderRecord record, std::string* error);

  /// Every order, seeded ones first, then in the order received.
  std::vector<OrderRecord> All() const;
  /// The orders received by the gateway, in the order received.
  std::vector<OrderRecord> Received() const;
  /// The document of an order; false when there is none (seeded orders, unreadable file).
  bool Document(const OrderRecord& record, std::string* document) const;

 private:
  bool SaveState(std::string* error) const;

  std::string data_dir_;
  std::vector<OrderRecord> seeded_;
  std::vector<OrderRecord> received_;
  std::map<long, std::string> memory_documents_;  // without a data folder
  long last_sequence_ = 0;
  mutable std::mutex mutex_;
};

}  // namespace partnersim
