// Back-ends that hand every operation to another back-end: the base of every wrapper that
// watches, records, times or fails some operations of a real or simulated machine and
// leaves the rest alone. Each overrides only the operations it treats; the others come
// from the operation lists, so a new operation is forwarded without being written here.
#pragma once

#include "platform/platform.h"

class ForwardingPlatform : public Platform {
 public:
  explicit ForwardingPlatform(Platform& inner) : inner_(inner) {}

#define PLATFORM_OP(result, Name, parameters, arguments) \
  result Name parameters override { return inner_.Name arguments; }
#include "platform/platform_operations.def"

 protected:
  Platform& inner_;
};

class ForwardingUi : public UserInterface {
 public:
  explicit ForwardingUi(UserInterface& inner) : inner_(inner) {}

#define UI_OP(result, Name, parameters, arguments) \
  result Name parameters override { return inner_.Name arguments; }
#include "platform/ui_operations.def"

 protected:
  UserInterface& inner_;
};
