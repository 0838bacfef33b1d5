# Sources of src/project (paths relative to the project root).
