#include "common/node_owner.h"

std::string NotNodeOwnerText(const std::string& owner, const std::string& command) {
  return "Fatal : This node directory belongs to " + owner + "; run as that user: sudo -u " +
         owner + " " + command + "\n";
}
