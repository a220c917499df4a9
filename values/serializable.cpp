#include "values/serializable.h"

#include "glue/log.h"

bool trv_serializable::to_binary(std::vector<uint8_t>& /*writer*/) {
  trv_log(TRV_LOG_ERROR, "to_binary(): not implemented.");
  return false;
}

bool trv_serializable::from_binary(const std::vector<uint8_t>& bytes) {
  return from_binary(bytes.data(), bytes.size());
}

bool trv_serializable::from_binary(const uint8_t* data, uint64_t size) {
  trv_binary_reader reader{data, size, 0};
  return from_binary(reader);
}

bool trv_serializable::from_binary(trv_binary_reader& /*reader*/) {
  trv_log(TRV_LOG_ERROR, "from_binary(): not implemented.");
  return false;
}
