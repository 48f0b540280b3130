#include "ui/MainWindowRoot.h"

namespace lumora {

MainWindowRoot::MainWindowRoot(const QStringList& files) : m_window({m_dialogs, m_volumes, m_magnifiers, m_keySequence})
{
    m_dialogs.setWindow(&m_window);
    m_window.show();
    if (!files.isEmpty())
        m_window.loading().openArguments(files);
}

} // namespace lumora
