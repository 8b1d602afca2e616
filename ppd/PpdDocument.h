// The plug-in's model of a PPD file.
#pragma once

class PpdDocument {
public:
    virtual ~PpdDocument();
};
