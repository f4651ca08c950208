#include "platform/shell/IFileOperationProgress.h"

#include <mutex>

#include "platform/shell/CTextFileOperationProgress.h"

namespace {

struct FactorySlot {
    std::mutex mutex;
    FileOperationProgressFactory factory;
};

FactorySlot& Slot()
{
    // Never destroyed: operations may run from static destructors.
    static FactorySlot* slot = new FactorySlot;
    return *slot;
}

}  // namespace

FileOperationProgressFactory SetFileOperationProgressFactory(FileOperationProgressFactory factory)
{
    FactorySlot& slot = Slot();
    std::lock_guard lock(slot.mutex);
    slot.factory.swap(factory);
    return factory;
}

std::unique_ptr<IFileOperationProgress> CreateFileOperationProgress()
{
    FileOperationProgressFactory factory;
    {
        FactorySlot& slot = Slot();
        std::lock_guard lock(slot.mutex);
        factory = slot.factory;
    }
    std::unique_ptr<IFileOperationProgress> sink = factory ? factory() : nullptr;
    return sink ? std::move(sink) : std::make_unique<CTextFileOperationProgress>();
}
