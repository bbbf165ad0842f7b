// Puts the resource blob that MakeResources.py built into the module file's section
// "qm_resources". The section is not loaded into memory: hosts and the platform read it from the
// file, as Windows hosts read PE resources.
#if !defined(QM_RESOURCE_BLOB)
#  error "QM_RESOURCE_BLOB must name the generated resource blob"
#endif

__asm__(".pushsection qm_resources,\"\",@progbits\n"
        ".p2align 3\n"
        ".incbin \"" QM_RESOURCE_BLOB "\"\n"
        ".popsection\n");
