#pragma once

#include "editor/editor_view_model.h"

namespace vesk {

// Pairs EditorViewModel::beginEdit() with endEdit() on every way out of a scope, so the edits
// inside make one undo step.
class EditScope
{
public:
    explicit EditScope(EditorViewModel &editor, EditorViewModel::EditKind kind = EditorViewModel::EditKind::Other)
        : m_editor(editor)
    {
        m_editor.beginEdit(kind);
    }
    ~EditScope() { m_editor.endEdit(); }
    EditScope(const EditScope &) = delete;
    EditScope &operator=(const EditScope &) = delete;

private:
    EditorViewModel &m_editor;
};

} // namespace vesk
