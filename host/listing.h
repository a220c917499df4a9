#pragma once

// Program blocks back to text. A listing is itself assembler text: assembling it gives blocks
// with the same code bytes and fields. Instructions appear as "offset mnemonic operands",
// labels L<offset> where jumps land, and bytes that ordinary syntax cannot write as `.bytes`.

#include <cstdint>
#include <string>

#include "host/assembler.h"

namespace trvhost {

// The units and every block of the program, in text order.
std::string list_program(const assembled_program& program);

// One instruction as "0016 load_local 2", for traces: jump targets as L<offset>, literals
// quoted, children by name, natives by `natives` (else the definition's own name), variables
// by their present value; a byte that starts no whole instruction as ".bytes".
std::string format_instruction(const trv_program_block& block, uint32_t offset,
                               const native_name_map* natives = nullptr);

}  // namespace trvhost
