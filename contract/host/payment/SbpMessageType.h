#pragma once

namespace sbp {
// The host fixes the kinds as numbers only: the name is our own.
enum MessageType {
    CpqrCheck = 0,
};
} // namespace sbp
