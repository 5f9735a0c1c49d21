#ifndef PROTOCOL_ACCESS_H
#define PROTOCOL_ACCESS_H

// The password that opens uploads to the module, in every program.
namespace Access {
constexpr char password[] = "QUMBELTA";
}

#endif
