// The answers every far end of the link tests gives, whatever carries them.
#include "tests/platform/link_peers.h"

namespace vorlanth::platform_tests {

// The shared answer table; each delay counts from the previous answer.
std::vector<Reply> farEndReplies(std::string_view command) {
    if (command == "PING\r") {
        return {{"FA", 200}, {"\r", 300}};
    }
    if (command == "STALE\r" || command == "STALE") {
        return {{"FF\r", 0}};
    }
    if (command == "SPLIT") {
        return {{"F", 0}, {"A", 20}, {"\r", 20}};
    }
    if (command == "JOIN" || command == "JOIN\r") {
        return {{"FA\r", 0}};
    }
    if (command == "LATE" || command == "LATE\r") {
        return {{"FF\r", 400}};
    }
    if (command == "DOUBLE" || command == "DOUBLE\r") {
        return {{"FA\r", 0}, {"FF\r", 50}};
    }
    if (command == "MID") {
        return {{"A\rB", 0}, {"\r", 20}};
    }
    if (command == "BIG") {
        return {{"FAAA", 0}};
    }
    return {};
}

}  // namespace vorlanth::platform_tests
