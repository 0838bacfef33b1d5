# Sources of src/imageeditor (paths relative to the project root).
