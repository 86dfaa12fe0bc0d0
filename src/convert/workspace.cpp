#include "convert/workspace.h"

#include <cstdlib>

#include "compress/dcl.h"

static_assert(kCompressionWorkAreaBytes == kCompressionWorkAreaSize);

uint8_t* OutputBuffer = nullptr;
uint8_t* CompressionWorkArea = nullptr;
uint8_t* ExplodedATBuffer = nullptr;
uint8_t* FormatEntryBuffer = nullptr;
uint8_t* LimitTable = nullptr;
uint8_t* IndexBuffer = nullptr;
uint8_t* TrailerBuffer = nullptr;
uint8_t* RecordBuildBuffer = nullptr;
uint32_t RecordBuildLength = 0;

namespace {

struct WorkspaceBuffer {
  uint8_t** pointer;
  uint32_t size;
};

// The buffers in allocation order.
constexpr WorkspaceBuffer kBuffers[] = {
    {&OutputBuffer, kOutputBufferSize},
    {&CompressionWorkArea, kCompressionWorkAreaBytes},
    {&ExplodedATBuffer, kExplodedATBufferSize},
    {&FormatEntryBuffer, kFormatEntryBufferSize},
    {&LimitTable, kLimitTableSize},
    {&IndexBuffer, kIndexBufferSize},
    {&TrailerBuffer, kTrailerBufferSize},
    {&RecordBuildBuffer, kRecordBuildBufferSize},
};

}  // namespace

int16_t AllocConversionBuffers() {
  FreeConversionBuffers();
  for (const WorkspaceBuffer& buffer : kBuffers) {
    *buffer.pointer = static_cast<uint8_t*>(std::calloc(buffer.size, 1));
    if (!*buffer.pointer) {
      FreeConversionBuffers();
      return 0;
    }
  }
  return 1;
}

void FreeConversionBuffers() {
  for (const WorkspaceBuffer& buffer : kBuffers) {
    std::free(*buffer.pointer);
    *buffer.pointer = nullptr;
  }
  RecordBuildLength = 0;
}
