// The attach and remove commands of the order stack page: the file is chosen in the
// window's file picker, checked, put into the order group by the order stack, and the stack
// is saved and drawn again.
#pragma once

#include <functional>
#include <string>

#include "orders/order_stack.h"
#include "platform/err.h"

namespace larkedi {

class OrderAttachments {
 public:
  /// `orders` must outlive this object; `redraw` shows the order stack again.
  OrderAttachments(OrderStack& orders, std::function<void()> redraw)
      : orders_(orders), redraw_(std::move(redraw)) {}

  /// Asks for a file and attaches it to order group `id`, then saves and redraws the stack.
  /// A cancelled picker changes nothing; a file that is missing, not a plain file or not
  /// readable is reported in a message box and not attached. Empty Err, or why the group
  /// could not be changed or saved.
  Err DoAttachFile(long id);
  /// Removes the file named `path` (any letter case) from order group `id`, then saves and
  /// redraws the stack, also when no file matched. Empty Err, or why the group could not
  /// be changed or saved.
  Err DeleteAttachFile(long id, const std::string& path);

  /// The folder the picker opens in: that of the file attached last.
  const std::string& LastFolder() const { return last_folder_; }

 private:
  /// Empty when `path` names a regular file this process can read; otherwise the message
  /// for the dealer.
  static std::string Unusable(const std::string& path);

  OrderStack& orders_;
  std::function<void()> redraw_;
  std::string last_folder_;
};

}  // namespace larkedi
