# Sources of src/editors (paths relative to the project root).
